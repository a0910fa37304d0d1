#pragma once

#include <string>

// What the About window shows, from the values it is given when opened.
struct AboutTexts {
    std::string label1; // the version
    std::string label3; // the usage total
    std::string label6; // the statement
};

AboutTexts MakeAboutTexts(const std::string &programVersion, double usageTotal);

// The vendor's home page, which the address label opens.
std::string HomePageUrl(const std::string &vendorUrl);
