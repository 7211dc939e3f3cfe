#pragma once
// The address check before a write, over the texts of the four address
// groups, as the window's edits hold them and as vantrel-cli takes them
// from its options: every octet of a group the write will use must convert
// to a number from 0 to 255 (StrToOctet's rules: blanks, sign, '$' or "0x").
// The IP address counts only while "Get Address Automatically" is off, the
// target address only while "Enable Client" is on.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

using OctetTexts = std::array<std::string, 4>;

struct AddressTexts {
    bool DhcpEnabled = false;
    bool ClientEnabled = false;
    OctetTexts Ip, Gateway, Mask, Target;
};

// What the check says for each group that fails, in this order: "Invalid IP
// Address", "Invalid Gateway Address", "Invalid Submask", "Invalid Target
// Address". The first bad octet fails its group; every group is checked.
// Empty when all is well.
std::vector<std::string> CheckAddressTexts(const AddressTexts& texts);

// What the window shows once a check has failed.
inline constexpr char kAddressCheckFailed[] = "There are errors";

// A dotted address "A.B.C.D" as the four octet texts: the texts between the
// full stops, the fourth holding everything after the third full stop (so
// "1.2.3.4.5" gives "4.5", which fails the check) and missing ones empty.
OctetTexts SplitDottedAddress(std::string_view text);

} // namespace vantrel
