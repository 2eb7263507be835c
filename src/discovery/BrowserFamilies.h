#pragma once
// The browser types and what the program knows of each: one row per type with its name, its
// picture, what the table of supported browsers tells the user, what a profile of the type
// offers, the helpers that read and change its stores, the discovery step that finds it and
// whether it is looked for by default. A new family is a row here plus its own discovery step,
// helper and format files.

#include "helpers/BrowserHelper.h"
#include "model/EnumSet.h"
#include "model/ProfileStores.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quillon {

// The ordinals are kept in stored settings and in the window's order; new types go at the end.
enum TBrowserType : std::uint8_t {
  bInternetExplorer,
  bMozilla,
  bFirebird,
  bFirefox,
  bBeonex,
  bNetscape6,
  bNetscape4,
  bOpera,
  bOpera7,
  bKMeleon,
  bThunderbird,
  bOperaApp,
  bLolifox,
  bWyzo,
  bFlock,
  bChrome
};
constexpr int kBrowserTypeCount = 16;

// Which browser types to detect; as a number, bit n stands for the type with ordinal n.
using TFamilyMask = TEnumSet<TBrowserType, kBrowserTypeCount, std::uint16_t>;

// The discovery steps, in the order the manager runs them. The Mozilla step is followed by the
// portable Firefox step under the same guard.
enum class TStepGroup : std::uint8_t { InternetExplorer, Opera, Mozilla, Chrome };

// What a profile of the type offers per kind.
struct TFamilyCapabilities {
  TCacheKinds Read, Clean, Purge;
};

// The badge the window draws for a picture: letters on a colour (0xAARRGGBB).
struct TBadge {
  std::string_view Letters;
  std::uint32_t Colour;
};

struct TBrowserFamily {
  TBrowserType Type;
  std::string_view Name;
  // Index into the window's browser pictures; -1 for none. Types may share a picture.
  int ImageIndex;
  TBadge Badge;
  // What the table of supported browsers shows per kind: R read, C clean, P purge, All all
  // three. Information only; what a profile offers is Capabilities.
  std::array<std::string_view, kCacheTypeCount> CapabilityTexts;
  // None: a profile keeps the flags it has (discovery never makes such a profile).
  std::optional<TFamilyCapabilities> Capabilities;
  // Reads the profiles, and cleans and purges them.
  THelperKind Helper;
  // Cleans and purges the running user's own profile (the one without a ProfileLocation) when
  // that differs from Helper, because only that user's store is reachable through it.
  std::optional<THelperKind> OwnUserCleanHelper;
  TStepGroup Step;
  bool DetectedByDefault;
  // Shown in the table of supported browsers.
  bool Listed;
};

namespace families {

constexpr TCacheKinds kAll = kAllCacheKinds;
constexpr TFamilyCapabilities kEverything{kAll, kAll, kAll};
constexpr TFamilyCapabilities kNetscape4{
    {ctCache, ctCookies, ctPages, ctBookmarks}, {ctCache, ctPages, ctBookmarks}, kAll};
constexpr TFamilyCapabilities kMozilla{
    {ctCookies, ctHistory, ctPages, ctBookmarks}, {ctCookies, ctPages, ctBookmarks}, kAll};
constexpr TFamilyCapabilities kChrome{{ctCookies, ctHistory, ctBookmarks},
                                      {ctCookies, ctHistory, ctBookmarks},
                                      {ctCookies, ctHistory, ctBookmarks}};

constexpr std::array<std::string_view, kCacheTypeCount> kTextsAll = {"All", "All", "All", "All",
                                                                     "All"};
constexpr std::array<std::string_view, kCacheTypeCount> kTextsMozilla = {"P", "All", "R/P", "All",
                                                                         "All"};

// The helper and the step of a row; both name Mozilla, Opera and Chrome.
using H = THelperKind;
using S = TStepGroup;

} // namespace families

// Indexed by TBrowserType.
// clang-format off
inline constexpr std::array<TBrowserFamily, kBrowserTypeCount> kBrowserFamilies = [] {
  using namespace families;
  using F = TBrowserFamily;
  return std::array<F, kBrowserTypeCount>{{
  //  type               name                     image badge                 table texts                    offers        helper         own user      step                default listed
    F{bInternetExplorer, "Internet Explorer",     2,    {"IE", 0xff1e6fd9}, kTextsAll,                     kEverything,  H::IERegistry, H::IECurrent, S::InternetExplorer, true,  true},
    F{bMozilla,          "Mozilla",               4,    {"Mz", 0xffc0392b}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    F{bFirebird,         "Firebird",              6,    {"Fx", 0xffe66000}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    F{bFirefox,          "Firefox",               6,    {"Fx", 0xffe66000}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    F{bBeonex,           "Beonex",                8,    {"Bx", 0xff7d3c98}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    F{bNetscape6,        "Netscape (6 or later)", 9,    {"N6", 0xff138d90}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    F{bNetscape4,        "Netscape (4.x)",        3,    {"N4", 0xff00606a}, {"P", "All", "P", "All", "All"}, kNetscape4, H::Netscape,   {},           S::Mozilla,          true,  true},
    F{bOpera,            "Opera 4+",              5,    {"Op", 0xffa0102a}, kTextsAll,                     kEverything,  H::Opera,      {},           S::Opera,            true,  true},
    F{bOpera7,           "Opera 7+",              5,    {"Op", 0xffa0102a}, kTextsAll,                     kEverything,  H::Opera,      {},           S::Opera,            true,  true},
    F{bKMeleon,          "K-Meleon",              10,   {"KM", 0xff2e8b57}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    // Thunderbird keeps mail, not browsing: looked for only on request.
    F{bThunderbird,      "Thunderbird",           7,    {"Tb", 0xff2a5db0}, kTextsMozilla,                 std::nullopt, H::Mozilla,    {},           S::Mozilla,          false, true},
    F{bOperaApp,         "Opera Application",     -1,   {},                 {"-", "-", "-", "-", "-"},     kEverything,  H::Opera,      {},           S::Opera,            false, false},
    F{bLolifox,          "Lolifox",               13,   {"Lf", 0xffd63384}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    F{bWyzo,             "Wyzo",                  14,   {"Wz", 0xff8b5a2b}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    F{bFlock,            "Flock",                 15,   {"Fl", 0xff4b3fa0}, kTextsMozilla,                 kMozilla,     H::Mozilla,    {},           S::Mozilla,          true,  true},
    F{bChrome,           "Chrome",                16,   {"Ch", 0xff4f8a10}, {"-", "All", "All", "-", "All"}, kChrome,    H::Chrome,     {},           S::Chrome,           true,  true},
  }};
}();
// clang-format on

constexpr const TBrowserFamily& BrowserFamily(TBrowserType type) {
  return kBrowserFamilies.at(type);
}

// The types a step finds.
constexpr TFamilyMask FamiliesOfStep(TStepGroup step) {
  TFamilyMask mask;
  for (const TBrowserFamily& family : kBrowserFamilies)
    if (family.Step == step)
      mask.Include(family.Type);
  return mask;
}

// Everything the rows detect by default: all but Thunderbird and "Opera Application".
inline constexpr TFamilyMask kDefaultFamilyMask = [] {
  TFamilyMask mask;
  for (const TBrowserFamily& family : kBrowserFamilies)
    if (family.DetectedByDefault)
      mask.Include(family.Type);
  return mask;
}();

} // namespace quillon
