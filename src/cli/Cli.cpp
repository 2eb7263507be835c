#include "cli/Cli.h"

#include "cli/CliOptions.h"
#include "cli/IECacheCommand.h"
#include "cli/MorkCommand.h"
#include "cli/OperaCommands.h"
#include "cli/TextTable.h"
#include "discovery/ActionPreview.h"
#include "discovery/ActionReport.h"
#include "discovery/BrowserManager.h"
#include "discovery/CleanRule.h"
#include "discovery/CompatibilityTable.h"
#include "discovery/EntryRows.h"
#include "discovery/ProcessSetup.h"
#include "discovery/ProfileActions.h"
#include "platform/ListFile.h"
#include "session/HostFiles.h"
#include "session/HostSystem.h"
#include "session/ProgramVersion.h"
#include "session/TerminalText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iostream>
#include <ostream>
#include <span>

namespace quillon::cli {

namespace {

// A failure to set up the session the user asked for; exit code 2.
struct ESessionError {
  std::string message;
};

void PrintProfiles(const TBrowserManager& manager, bool aligned, std::ostream& out) {
  TTextTable table(aligned);
  if (aligned)
    table.AddRow({"#", "Profile", "Browser", "Version", "Tag", "Location", "Cache", "Cookies",
                  "History", "Pages", "Bookmarks"});
  const TBrowserProfileList& profiles = manager.Profiles();
  for (int i = 0; i < profiles.Count(); ++i) {
    const TBrowserProfile& p = profiles.Items(i);
    std::vector<std::string> row{std::to_string(i),
                                 p.ProfileName,
                                 std::string(p.BrowserName()),
                                 p.Version,
                                 std::to_string(p.VersionTag),
                                 p.ProfileLocation};
    for (int k = 0; k < kCacheTypeCount; ++k)
      row.push_back(std::to_string(p.GetList(static_cast<TCacheType>(k)).Count()));
    table.AddRow(std::move(row));
  }
  table.Print(out);
}

void PrintCompatibility(bool aligned, std::ostream& out) {
  TTextTable table(aligned);
  table.AddRow({kCompatibilityColumns.begin(), kCompatibilityColumns.end()});
  for (const TCompatibilityRow& row : CompatibilityRows()) {
    std::vector<std::string> cells{row.Browser};
    cells.insert(cells.end(), row.Capabilities.begin(), row.Capabilities.end());
    table.AddRow(std::move(cells));
  }
  table.Print(out);
}

// listfile encode IN OUT | listfile decode FILE, each with an optional --key-text TEXT.
int RunListFile(const TCliOptions& options, std::ostream& out) {
  std::vector<std::string> words;
  std::string keyText = BuildListKey();
  for (std::size_t i = 0; i < options.args.size(); ++i) {
    const std::string& arg = options.args[i];
    if (arg == "--key-text") {
      if (i + 1 >= options.args.size())
        throw ECliUsage{"option --key-text needs a value"};
      keyText = options.args[++i];
    } else if (arg.rfind("--key-text=", 0) == 0) {
      keyText = arg.substr(std::string("--key-text=").size());
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw ECliUsage{"unknown option " + arg + " for listfile"};
    } else {
      words.push_back(arg);
    }
  }
  const bool encode = !words.empty() && words[0] == "encode" && words.size() == 3;
  const bool decode = !words.empty() && words[0] == "decode" && words.size() == 2;
  if (!encode && !decode)
    throw ECliUsage{"usage: listfile encode IN OUT | listfile decode FILE [--key-text TEXT]"};
  if (keyText.empty())
    throw ECliUsage{"option --key-text needs a non-empty text"};

  const THostFiles hostFiles;
  const auto windowsPath = [&hostFiles](const std::string& hostPath) {
    const std::string path = hostFiles.WindowsPath(hostPath);
    if (path.empty())
      throw ESessionError{"cannot use the path " + hostPath};
    return path;
  };
  std::string input;
  if (!winapi::ReadWholeFile(windowsPath(words[1]), input))
    throw ESessionError{"cannot read " + words[1] + ": " +
                        winapi::FormatMessage(winapi::GetLastError())};
  if (decode) {
    out << DecodeListText(input, keyText);
    return 0;
  }
  if (!winapi::WriteWholeFile(windowsPath(words[2]), EncodeListText(input, keyText)))
    throw std::runtime_error("cannot write " + words[2] + ": " +
                             winapi::FormatMessage(winapi::GetLastError()));
  return 0;
}

constexpr const char* kKindNames[kCacheTypeCount] = {"cache", "cookies", "history", "pages",
                                                     "bookmarks"};

int ParseProfileIndex(const std::string& text, const TBrowserManager& manager) {
  const int count = manager.Profiles().Count();
  std::size_t used = 0;
  long value = -1;
  try {
    value = std::stol(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
    throw ECliUsage{"bad profile index '" + text + "': expected a number from the profiles list"};
  if (value < 0 || value >= count)
    throw ECliUsage{"profile index " + text + " is out of range: the image has " +
                    std::to_string(count) + (count == 1 ? " profile" : " profiles")};
  return static_cast<int>(value);
}

TCacheType ParseKind(const std::string& text) {
  for (int k = 0; k < kCacheTypeCount; ++k)
    if (text == kKindNames[k])
      return static_cast<TCacheType>(k);
  throw ECliUsage{"unknown kind '" + text + "': expected cache, cookies, history, pages or " +
                  "bookmarks"};
}

// "all", a number from 0 to 31 (bit n for kind n), or a comma list of kind names.
TCacheKinds ParseKinds(const std::string& text) {
  if (text == "all")
    return kAllCacheKinds;
  if (!text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    if (text.size() > 2 || std::stoi(text) > kAllCacheKinds.ToBits())
      throw ECliUsage{"bad kinds '" + text + "': a number must be from 0 to 31"};
    return TCacheKinds::FromBits(static_cast<unsigned>(std::stoi(text)));
  }
  TCacheKinds kinds;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    kinds.Include(ParseKind(text.substr(start, comma - start)));
    if (comma == std::string::npos)
      break;
    start = comma + 1;
  }
  return kinds;
}

void RequireArgs(const TCliOptions& options, std::size_t count, const char* usage) {
  if (options.args.size() != count)
    throw ECliUsage{std::string("usage: quillon-cli [options] ") + usage};
}

// Rows are made as they are printed: a list of a million entries is not held a second time as
// text. With positions given, only the entries at those positions of the list, in that order.
void PrintEntries(const TBrowserProfile& profile, TCacheType kind, bool aligned, std::ostream& out,
                  const std::vector<int>* positions = nullptr) {
  const std::span<const TEntryColumn> columns = EntryColumns(kind);
  const TCacheList& list = profile.GetList(kind);
  const TFormatSettings& settings = FormatSettings();
  const std::size_t count =
      positions != nullptr ? positions->size() : static_cast<std::size_t>(list.Count());
  PrintRows(out, aligned, count + 1, [&](std::size_t row, std::vector<std::string>& cells) {
    const int entry = row == 0               ? -1
                      : positions != nullptr ? (*positions)[row - 1]
                                             : static_cast<int>(row - 1);
    for (std::size_t c = 0; c < columns.size(); ++c)
      cells.push_back(row == 0 ? std::string(columns[c].Caption)
                               : EntryCellText(kind, list[entry], static_cast<int>(c), settings));
  });
}

// How the lines on stderr name a profile: its index in the profiles list and its name.
std::string ProfileLabel(const TBrowserProfile& profile, int index) {
  return "profile " + std::to_string(index) + " (" + profile.ProfileName + ")";
}

// One warning per store of the profile that exists but could not be read at its last read. The
// profile's name and the reason's paths come from the image, so the line is printed escaped.
void PrintReadWarnings(const TBrowserProfile& profile, int index, std::ostream& err) {
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const TKindOutcome& read = profile.LastRead.Of(TStoreAccess::Read, static_cast<TCacheType>(k));
    if (read.Result == TKindResult::Failed)
      err << "quillon-cli: warning: "
          << TerminalText(ProfileLabel(profile, index) + ": cannot read the " +
                          std::string(KindText(static_cast<TCacheType>(k))) + ": " + read.Reason)
          << '\n';
  }
}

// What a clean or purge would remove, without running it: per kind the count and, for a clean,
// the accepted entries as `show` prints them.
void PrintPreview(TBrowserProfile& profile, int index, TMainAction action,
                  const TActionStates& enabled, bool aligned, std::ostream& out) {
  const TActionPreview preview = PreviewAction(profile, action, enabled);
  out << TerminalText(preview.Caption + ": " + ProfileLabel(profile, index) + ", " +
                      ProfileLocationText(profile))
      << '\n';
  if (preview.Kinds.empty())
    out << "Nothing to remove.\n";
  for (const TKindPreview& kind : preview.Kinds) {
    out << TerminalText(PreviewKindLine(kind, preview.Verb)) << '\n';
    if (kind.Entries.empty())
      continue;
    PrintEntries(profile, kind.Kind, aligned, out, &kind.Entries);
  }
}

// Runs clean or purge as the main window's actions do: the profile is selected (which sets what
// it offers), the "all" action or one action per kind runs, each with its follow-up refresh.
// Prints the counts, then on err one line per kind that could not be changed and the warnings
// of the stores the refresh could not read; answers whether anything failed.
// A dry run prints each action's preview instead and changes nothing.
bool CleanOrPurge(TBrowserManager& manager, int index, TActionVerb verb, TCacheKinds kinds,
                  bool dryRun, bool aligned, std::ostream& out, std::ostream& err) {
  manager.SetOnValidateCacheEntry(ValidateCacheEntry);
  manager.ItemIndex = index;
  TBrowserProfile& profile = manager.Profiles().Items(index);
  const TProfileView view = ProfileView(profile, AllActionsEnabled());
  const TEntryCounts before = EntryCounts(profile);
  std::vector<TMainAction> actions;
  if (kinds == kAllCacheKinds) {
    actions.push_back(MakeAction(verb));
  } else {
    for (int k = 0; k < kCacheTypeCount; ++k)
      if (kinds.Contains(static_cast<TCacheType>(k)))
        actions.push_back(MakeAction(verb, static_cast<TCacheType>(k)));
  }
  std::vector<std::string> notOffered;
  TActionOutcome outcome;
  for (const TMainAction action : actions) {
    if (!view.Enabled[action])
      notOffered.emplace_back(ActionCaption(action));
    else if (dryRun)
      PrintPreview(profile, index, action, view.Enabled, aligned, out);
    else
      outcome.Merge(ExecuteMainAction(manager, action, view.Enabled, nullptr));
  }
  if (dryRun) {
    for (const std::string& caption : notOffered)
      out << "\"" << caption << "\" is not offered for this profile.\n";
    out << "Dry run: nothing was changed.\n";
    out.flush();
    PrintReadWarnings(profile, index, err);
    return false;
  }
  const TEntryCounts after = EntryCounts(profile);
  TTextTable table(aligned);
  table.AddRow({"Kind", "Before", "After"});
  for (int k = 0; k < kCacheTypeCount; ++k)
    table.AddRow({kKindNames[k], std::to_string(before[k]), std::to_string(after[k])});
  table.Print(out);
  for (const std::string& caption : notOffered)
    out << "\"" << caption << "\" is not offered for this profile.\n";
  out.flush();
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const TKindOutcome& change = outcome.Of(TStoreAccess::Change, static_cast<TCacheType>(k));
    if (change.Result == TKindResult::Failed)
      err << "quillon-cli: "
          << TerminalText(ProfileLabel(profile, index) + ": " + kKindNames[k] + ": " +
                          change.Reason)
          << '\n';
  }
  PrintReadWarnings(profile, index, err);
  return outcome.Failed(TStoreAccess::Change);
}

int Run(const TCliOptions& options, bool dryRun, bool aligned, std::ostream& out,
        std::ostream& err) {
  if (options.command == "compat") {
    PrintCompatibility(aligned, out);
    return 0;
  }
  if (options.command == "listfile")
    return RunListFile(options, out);
  // The viewer commands read a file the user named, not the image.
  if (options.command == "opera-cookies")
    return PrintOperaCookies(options.args[0], aligned, out, err);
  if (options.command == "opera-cache")
    return PrintOperaCache(options.args[0], aligned, out, err);
  if (options.command == "mork")
    return PrintMork(options.args[0], ParseMorkArgs(options.args), aligned, out, err);

  winapi::TWinApiScope scope(OpenSystem(options.imageOptions));
  TProcessSetup setup;
  // The session user's URL cache needs no discovery.
  if (options.command == "ie-cache")
    return PrintIECache(ParseIECacheArgs(options.args), aligned, out, err);
  TBrowserManager manager;
  // The window loads the list file's start-page locations right after discovery; so do we.
  if (std::string reason; !LoadIEPageLocations(manager, reason))
    err << "quillon-cli: warning: " << TerminalText(reason) << '\n';

  if (options.command == "profiles") {
    PrintProfiles(manager, aligned, out);
    for (int i = 0; i < manager.Profiles().Count(); ++i)
      PrintReadWarnings(manager.Profiles().Items(i), i, err);
  } else if (options.command == "show") {
    const int index = ParseProfileIndex(options.args[0], manager);
    PrintEntries(manager.Profiles().Items(index), ParseKind(options.args[1]), aligned, out);
    PrintReadWarnings(manager.Profiles().Items(index), index, err);
  } else if (options.command == "clean" || options.command == "purge") {
    const int index = ParseProfileIndex(options.args[0], manager);
    const bool failed = CleanOrPurge(
        manager, index, options.command == "clean" ? TActionVerb::Clean : TActionVerb::Purge,
        ParseKinds(options.args[1]), dryRun, aligned, out, err);
    return failed ? 1 : 0;
  } else if (options.command == "log") {
    for (const std::string& line : manager.DetectionLog())
      out << TerminalText(line) << '\n';
  }
  return 0;
}

} // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    TCliOptions options = ParseCommandLine(args);
    // clean and purge take --dry-run anywhere after the command word.
    bool dryRun = false;
    if (options.command == "clean" || options.command == "purge")
      dryRun = std::erase(options.args, std::string("--dry-run")) > 0;
    if (options.help || options.command == "help") {
      out << CliUsageText();
      return 0;
    }
    if (options.version) {
      out << VersionLine(ProgramVersionStrings()) << '\n';
      return 0;
    }
    if (options.command.empty())
      throw ECliUsage{"no command given (try --help)"};
    static const char* const kCommands[] = {"profiles",      "log",         "compat", "listfile",
                                            "show",          "clean",       "purge",  "ie-cache",
                                            "opera-cookies", "opera-cache", "mork"};
    if (std::find(std::begin(kCommands), std::end(kCommands), options.command) ==
        std::end(kCommands))
      throw ECliUsage{"unknown command '" + options.command + "' (try --help)"};
    if (options.command == "show")
      RequireArgs(options, 2, "show INDEX KIND");
    else if (options.command == "clean" || options.command == "purge")
      RequireArgs(options, 2, (options.command + " INDEX KINDS").c_str());
    else if (options.command == "ie-cache")
      ParseIECacheArgs(options.args);
    else if (options.command == "opera-cookies" || options.command == "opera-cache")
      RequireArgs(options, 1, (options.command + " FILE").c_str());
    else if (options.command == "mork")
      ParseMorkArgs(options.args);
    else if (!options.args.empty() && options.command != "listfile")
      throw ECliUsage{"command '" + options.command + "' takes no arguments"};
    // Kind names are checked before the image is read, so a typo costs no discovery run.
    if (options.command == "show")
      ParseKind(options.args[1]);
    else if (options.command == "clean" || options.command == "purge")
      ParseKinds(options.args[1]);
    // Aligned columns for a person at a terminal; tabs for other programs.
    const bool aligned = &out == &std::cout && StandardOutputIsTerminal();
    return Run(options, dryRun, aligned, out, err);
  } catch (const ECliUsage& e) {
    err << "quillon-cli: " << TerminalText(e.message) << '\n';
    return 2;
  } catch (const ESessionError& e) {
    err << "quillon-cli: " << TerminalText(e.message) << '\n';
    return 2;
  } catch (const std::exception& e) {
    err << "quillon-cli: " << TerminalText(e.what()) << '\n';
    return 1;
  }
}

} // namespace quillon::cli
