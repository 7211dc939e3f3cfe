#include "config/AddressRules.h"

#include "config/StrToInt.h"

#include <algorithm>

namespace vantrel {

std::vector<std::string> CheckAddressTexts(const AddressTexts& texts)
{
    std::vector<std::string> failures;
    const auto checkGroup = [&](const OctetTexts& group, const char* failure) {
        if (!std::all_of(group.begin(), group.end(), [](const std::string& t) { return IsValidOctet(t); }))
            failures.emplace_back(failure);
    };
    if (!texts.DhcpEnabled)
        checkGroup(texts.Ip, "Invalid IP Address");
    checkGroup(texts.Gateway, "Invalid Gateway Address");
    checkGroup(texts.Mask, "Invalid Submask");
    if (texts.ClientEnabled)
        checkGroup(texts.Target, "Invalid Target Address");
    return failures;
}

OctetTexts SplitDottedAddress(std::string_view text)
{
    OctetTexts octets;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t stop = text.find('.');
        if (stop == std::string_view::npos) {
            octets[i] = std::string(text);
            return octets;
        }
        octets[i] = std::string(text.substr(0, stop));
        text.remove_prefix(stop + 1);
    }
    octets[3] = std::string(text);
    return octets;
}

} // namespace vantrel
