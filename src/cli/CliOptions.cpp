#include "cli/CliOptions.h"

#include <cctype>

namespace quillon::cli {

namespace {

// "--name=value" or "--name value".
bool TakeValue(const std::vector<std::string>& argv, std::size_t& i, const std::string& name,
               std::string& value) {
  const std::string& arg = argv[i];
  if (arg == name) {
    if (i + 1 >= argv.size())
      throw ECliUsage{"option " + name + " needs a value"};
    value = argv[++i];
    return true;
  }
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

void AddDrive(TCliOptions& options, const std::string& mapping) {
  if (mapping.size() < 3 || mapping[1] != '=' ||
      !std::isalpha(static_cast<unsigned char>(mapping[0])))
    throw ECliUsage{"bad drive '" + mapping +
                    "': expected a letter, '=' and a folder, like D=/mnt/usb"};
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(mapping[0])));
  if (letter == 'C')
    throw ECliUsage{"bad drive '" + mapping + "': drive C: is the image; use --image DIR"};
  if (options.drives.count(letter))
    throw ECliUsage{std::string("drive ") + letter + ": is given twice"};
  options.drives[letter] = mapping.substr(2);
}

} // namespace

TCliOptions ParseCliOptions(const std::vector<std::string>& argv) {
  TCliOptions options;
  std::size_t i = 0;
  for (; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    std::string value;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (TakeValue(argv, i, "--image", value)) {
      if (value.empty())
        throw ECliUsage{"option --image needs a folder"};
      options.image = value;
    } else if (TakeValue(argv, i, "--user", value)) {
      if (value.empty())
        throw ECliUsage{"option --user needs a name or SID"};
      options.user = value;
    } else if (TakeValue(argv, i, "--drive", value)) {
      AddDrive(options, value);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw ECliUsage{"unknown option " + arg};
    } else {
      break;
    }
  }
  if (i < argv.size()) {
    options.command = argv[i++];
    options.args.assign(argv.begin() + static_cast<std::ptrdiff_t>(i), argv.end());
  }
  return options;
}

const char* ImageOptionsText() {
  return R"(Options:
  --image DIR     the Windows system drive to read (a mounted partition or a copy);
                  default: the demo image the build writes
  --user NAME     whose session to run in: a profile folder name under Users or a SID;
                  default: the image's last logged-on user
  --drive X=DIR   map drive letter X: to the host folder DIR (repeatable; C: is the image;
                  no other host folder is reachable unless mapped)
  -h, --help      this text
)";
}

std::string CliUsageText() {
  return std::string(
             R"(Usage: quillon-cli [--image DIR] [--user NAME] [--drive X=DIR]... COMMAND [ARGS]

Shows the web-browser profiles of a Windows system image and what each browser keeps.

)") + ImageOptionsText() +
         R"(
Commands:
  profiles        one line per profile: index, name, browser, version, store generation,
                  location, then the entry counts (cache, cookies, history, pages, bookmarks)
  log             the detection log
  show INDEX KIND the entries of one kind of profile INDEX, as the window's list shows them;
                  KIND is cache, cookies, history, pages or bookmarks
  clean INDEX KINDS
                  removes the entries of profile INDEX that the clean rule accepts (every
                  cache entry, cookies of hosts containing "advertising" or "mediaplex",
                  bookmarks of doubleclick.net and atdmt.com), then reads the profile again
                  and prints the counts before and after; KINDS is a comma list of kinds,
                  "all", or a number with bit n for kind n (1 cache ... 16 bookmarks)
  purge INDEX KINDS
                  removes those kinds of profile INDEX as a whole, then reads it again and
                  prints the counts before and after
  compat          what Quillon can do per browser (R read, C clean, P purge, All all three)
  listfile encode IN OUT [--key-text TEXT]
                  enciphers the plain-text list of start-page locations IN into the list
                  file OUT (Quillon.ieldat), with the program's key or the given key text
  listfile decode FILE [--key-text TEXT]
                  prints the deciphered content of a list file
  help            this text

Columns are aligned on a terminal and separated by one tab otherwise.
Exit codes: 0 done, 1 failed while running, 2 bad arguments or an image that cannot be used.
)";
}

} // namespace quillon::cli
