// Work for every instance at once, each on a thread of its own: a slow instance or
// gateway holds back none of the others.
#pragma once

#include <thread>
#include <vector>

namespace console {

// Runs work(item) for every item on a thread of its own and returns when all are done.
template <typename Items, typename Work>
void SideBySide(Items& items, const Work& work) {
    std::vector<std::thread> threads;
    threads.reserve(items.size());
    for (auto& item : items) {
        threads.emplace_back([&work, &item] { work(item); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

}  // namespace console
