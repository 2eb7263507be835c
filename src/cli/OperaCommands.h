#pragma once
// `quillon-cli opera-cookies FILE` and `quillon-cli opera-cache FILE`: an Opera cookie file (its
// domain tree, then its cookies) or cache index (its entries) with the texts of the Opera cookie
// window. FILE is a host file: the user named it.

#include <iosfwd>
#include <string>

namespace quillon::cli {

// Print what was read. A file that cannot be read, one whose header is not Opera's and one whose
// load stopped early give a line on err and answer 1 (after what was read); otherwise 0.
int PrintOperaCookies(const std::string& hostPath, bool aligned, std::ostream& out,
                      std::ostream& err);
int PrintOperaCache(const std::string& hostPath, bool aligned, std::ostream& out,
                    std::ostream& err);

} // namespace quillon::cli
