#include "address/address_templates.h"

#include <cstring>

namespace krogw {
namespace {

constexpr const char* D = "0123456789";
constexpr const char* B = " ";
constexpr const char* L = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr const char* LB = "ABCDEFGHIJKLMNOPQRSTUVWXYZ ";

}  // namespace

// Tested in this order; an address is decoded by its own characters whichever
// template it matched.
const std::array<AddressTemplate, kAddressTemplateCount> kAddressTemplates = {{
    {"numeric table element",
     {"0123456", D, D, D, D, "01", D, D, D, D, "012", D, D, "012345678", B, B}},
    {"poll", {"PC", "0123456", D, D, D, D, "01", D, D, D, D, "012", D, D, D, D}},
    {"RTU forms", {"!TS", "0123456", D, D, D, D, "C ", "012345 ", B, B, B, B, B, B, B, B}},
    {"SetCall", {"S", "E", "T", "C", "A", "L", "L", ".", "RQSE", "TRDCX", "UE ", B, B, B, B, B}},
    {"driver gates", {"!", "EPBC", "ROAM", "RLCD", "OLK ", "RU ", "P ", B, B, B, B, B, B, B, B, B}},
    {"gateway status", {"!", "12", B, B, B, B, B, B, B, B, B, B, B, B, B, B}},
    {"gateway statistic", {"!", "12", ".", L, L, LB, LB, LB, LB, LB, LB, LB, LB, LB, LB, LB}},
    {"RTU statistic", {"!", "0123456", D, D, D, D, ".", L, L, L, LB, LB, LB, LB, LB, LB}},
}};

bool MatchTemplate(const AddressTemplate& address_template, const AddressField& field) {
    for (size_t position = 0; position < kAddressFieldChars; ++position) {
        const char c = field.text[position];
        if (c == '\0' || std::strchr(address_template.allowed[position], c) == nullptr) {
            return false;
        }
    }
    return true;
}

bool MatchesAnyTemplate(const AddressField& field) {
    for (const AddressTemplate& address_template : kAddressTemplates) {
        if (MatchTemplate(address_template, field)) {
            return true;
        }
    }
    return false;
}

}  // namespace krogw
