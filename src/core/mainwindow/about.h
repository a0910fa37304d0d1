#pragma once

#include <string>
#include <string_view>

// What the About window shows, from the values it is given when opened.
struct AboutTexts {
    std::string label1; // the version
    std::string label3; // the usage total
    std::string label5; // the vendor's host name, drawn as a link
    std::string label6; // the statement
};

AboutTexts MakeAboutTexts(const std::string &programVersion, double usageTotal,
                          std::string_view vendorUrl);

// The host name of an address, in lower case: what follows "//", without a
// user name or a port, up to the path.
std::string HostOf(std::string_view url);

// The vendor's home page, which the address label opens.
std::string HomePageUrl(const std::string &vendorUrl);
