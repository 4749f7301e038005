#pragma once

// The vendor's web site and the donation page, in one place. The link
// controls show the host as their tooltip and open the site.
namespace VendorInfo {

inline constexpr const char* kProgramName = "Tallyvine";
inline constexpr const char* kSiteHost = "www.orbelle.example";
inline constexpr const char* kSiteUrl = "https://www.orbelle.example/";

// The donation page: the payment service's checkout with the donation
// account's e-mail address (percent-encoded), the item, the currency and the
// amount, in this order.
inline constexpr const char* kDonationUrl = "https://www.paypal.com/cgi-bin/webscr"
                                            "?cmd=_xclick"
                                            "&business=donate%40orbelle.example"
                                            "&item_name=Donate%20Orbelle"
                                            "&currency_code=USD"
                                            "&amount=10.00";

} // namespace VendorInfo
