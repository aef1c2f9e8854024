#include "tools/console/project_file.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace console {
namespace {

constexpr int32_t kMaxDriverNumber = 255;
constexpr int32_t kMaxElements = 250;
constexpr size_t kMaxAddressChars = 16;
constexpr int32_t kMinCycleMs = 100;
constexpr int32_t kMaxCycleMs = 3600000;

bool ToInt(const std::string& text, int32_t min, int32_t max, int32_t& value) {
    try {
        size_t used = 0;
        const long long number = std::stoll(text, &used, 10);
        if (used != text.size() || number < min || number > max) {
            return false;
        }
        value = static_cast<int32_t>(number);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ToDouble(const std::string& text, double& value) {
    try {
        size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

bool IsName(const std::string& text) {
    for (const char c : text) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!allowed) {
            return false;
        }
    }
    return !text.empty();
}

class Reader {
  public:
    Reader(const std::string& path, Project& project) : path_(path), project_(project) {}

    void Line(int number, const std::string& text) {
        line_ = number;
        std::istringstream stream(text.substr(0, text.find('#')));
        std::vector<std::string> words;
        for (std::string word; stream >> word;) {
            words.push_back(word);
        }
        if (words.empty()) {
            return;
        }
        if (words[0] == "scan") {
            Scan(words);
        } else if (words[0] == "instance") {
            Instance(words);
        } else if (words[0] == "gate") {
            Gate(words);
        } else {
            Fail("unknown statement '" + words[0] + "' (scan, instance or gate)");
        }
    }

    void Fail(const std::string& what) {
        errors_.push_back(path_ + ":" + std::to_string(line_) + ": " + what);
    }

    std::vector<std::string> Errors() {
        if (errors_.empty() && project_.instances.empty()) {
            Fail("no instance defined");
        }
        return errors_;
    }

  private:
    void Scan(const std::vector<std::string>& words) {
        if (words.size() != 2 || !ToInt(words[1], kMinCycleMs, kMaxCycleMs, project_.scan_ms)) {
            Fail("scan needs one cycle in milliseconds, 100 to 3600000");
        }
    }

    void Instance(const std::vector<std::string>& words) {
        InstanceDefinition instance;
        instance.line = line_;
        if (words.size() != 3 || !ToInt(words[1], 1, kMaxDriverNumber, instance.driver_number)) {
            Fail("instance needs a driver number 1 to 255 and a configuration file");
            return;
        }
        if (!numbers_.insert(instance.driver_number).second) {
            Fail("instance " + words[1] + " is defined twice");
            return;
        }
        instance.configuration = words[2];
        const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
        if (!std::ifstream(folder / instance.configuration)) {
            Fail("cannot read configuration file " + (folder / instance.configuration).string());
            return;
        }
        project_.instances.push_back(instance);
    }

    void Gate(const std::vector<std::string>& words) {
        if (project_.instances.empty()) {
            Fail("gate before any instance");
            return;
        }
        GateDefinition gate;
        gate.line = line_;
        if (words.size() < 3) {
            Fail("gate needs a name and an address");
            return;
        }
        gate.name = words[1];
        gate.address = words[2];
        if (!IsName(gate.name)) {
            Fail("gate name '" + gate.name + "' may hold only letters, digits, _ - and .");
            return;
        }
        if (!names_.insert(gate.name).second) {
            Fail("gate " + gate.name + " is defined twice");
            return;
        }
        if (gate.address.size() > kMaxAddressChars) {
            Fail("address " + gate.address + " is longer than 16 characters");
            return;
        }
        for (size_t at = 3; at < words.size(); ++at) {
            if (!Option(words[at], gate)) {
                return;
            }
        }
        project_.instances.back().gates.push_back(gate);
    }

    bool Option(const std::string& word, GateDefinition& gate) {
        const size_t equals = word.find('=');
        const std::string key = word.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
        bool good = false;
        if (key == "count") {
            good = ToInt(value, 1, kMaxElements, gate.element_count);
        } else if (key == "scale") {
            good = ToDouble(value, gate.scale) && gate.scale != 0.0;
        } else if (key == "offset") {
            good = ToDouble(value, gate.offset);
        } else if (key == "cycle") {
            good = ToInt(value, kMinCycleMs, kMaxCycleMs, gate.cycle_ms);
        } else {
            Fail("unknown gate option '" + word + "' (count, scale, offset or cycle)");
            return false;
        }
        if (!good) {
            Fail("bad value in '" + word +
                 "' (count 1 to 250, scale non-zero, cycle 100 to 3600000 ms)");
        }
        return good;
    }

    const std::string& path_;
    Project& project_;
    int line_ = 0;
    std::vector<std::string> errors_;
    std::set<int32_t> numbers_;
    std::set<std::string> names_;
};

}  // namespace

std::vector<std::string> ReadProject(const std::string& path, Project& project) {
    project = Project{};
    project.path = path;
    std::ifstream file(path);
    if (!file) {
        return {path + ": cannot open the project file"};
    }
    Reader reader(path, project);
    int number = 0;
    for (std::string text; std::getline(file, text);) {
        ++number;
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        reader.Line(number, text);
    }
    return reader.Errors();
}

}  // namespace console
