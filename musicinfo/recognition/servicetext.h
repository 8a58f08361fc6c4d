// Small text helpers of the recognition code: trimming and the escaping of
// query values for service addresses.
#pragma once

#include <string>

namespace aws {

// The text without white space at either end.
std::string TrimmedText(const std::string& text);

// The text with every byte outside A-Z, a-z, 0-9 and "-_.~" written as %XX:
// safe as a query value of an address.
std::string UrlEscaped(const std::string& text);

}  // namespace aws
