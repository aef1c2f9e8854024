// Feeds arbitrary text to the simulator's scenario parser: a bad file must end in a
// ScenarioError naming its line, and a file it accepts must load into a gateway.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "tools/gwsim/gwsim.h"
#include "tools/gwsim/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
    gwsim::Scenario scenario;
    try {
        scenario = gwsim::ParseScenario(text);
    } catch (const gwsim::ScenarioError&) {
        return 0;
    }
    gwsim::Gateway gateway("127.0.0.1");  // never started: only its model is used
    gateway.LoadScenario(scenario);
    return 0;
}
