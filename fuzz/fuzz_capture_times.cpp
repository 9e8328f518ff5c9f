// The capture's show-time list (--at): any text is read or refused; what is
// read is ascending, each time once, and says exactly what the text said.
//
// The capture is part of the window-manager module, which the fuzz build
// does not compile on its own: its pure pieces come in here.
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "modules/wm/capture_plan.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInit();
    std::string text((const char*)data, size);
    text = text.c_str();  // the option's value ends at its first zero byte
    std::vector<int32_t> times;
    bool ok = capParseTimes(text.c_str(), times);
    // The same list, the slow way: items of digits between commas.
    std::set<long long> expected;
    bool valid = !text.empty();
    size_t from = 0;
    while (valid) {
        size_t comma = text.find(',', from);
        std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        valid = !item.empty() && item.find_first_not_of("0123456789") == std::string::npos;
        if (valid) {
            size_t nonzero = item.find_first_not_of('0');
            std::string digits = nonzero == std::string::npos ? "0" : item.substr(nonzero);
            if (digits.size() > 10) digits = "99999999999";  // beyond any int32
            long long v = std::stoll(digits);
            valid = v <= INT32_MAX;
            expected.insert(v);
        }
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    if (ok != valid) abort();
    if (!ok) {
        if (!times.empty()) abort();
        return 0;
    }
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] <= times[i - 1]) abort();
    if (std::set<long long>(times.begin(), times.end()) != expected) abort();
    // Pictures named from any of them stay short file names.
    for (int32_t t : times)
        if (capShotName(t).size() > 14 || capTimeLabel(t).find('-') != std::string::npos) abort();
    return 0;
}
