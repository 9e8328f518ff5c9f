// The capture's show-time list (--at): any text is read or refused; what is
// read is ascending, each time once, and says exactly what the text said.
// (The capture's pure pieces come in here from the window-manager module.)
#include <set>
#include <sstream>

#include "fuzz_support.h"
#include "modules/wm/capture_plan.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    std::string text = std::string((const char*)data, size).c_str();  // the option's value ends at its first zero
    std::vector<int32_t> times;
    bool ok = capParseTimes(text.c_str(), times);
    // The same list, the slow way: items of digits between commas.
    std::set<long long> expected;
    bool valid = !text.empty() && text.back() != ',';
    std::stringstream items(text);
    for (std::string item; valid && std::getline(items, item, ',');) {
        size_t nonzero = item.find_first_not_of('0');
        std::string digits = nonzero == std::string::npos ? "0" : item.substr(nonzero);
        valid = !item.empty() && item.find_first_not_of("0123456789") == std::string::npos && digits.size() <= 10 &&
                std::stoll(digits) <= INT32_MAX;
        if (valid) expected.insert(std::stoll(digits));
    }
    if (ok != valid || (!ok && !times.empty())) abort();
    if (!ok) return 0;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] <= times[i - 1]) abort();
    if (std::set<long long>(times.begin(), times.end()) != expected) abort();
    // Pictures named from any of them stay short file names.
    for (int32_t t : times)
        if (capShotName(t).size() > 14 || capTimeLabel(t).find('-') != std::string::npos) abort();
    return 0;
}
