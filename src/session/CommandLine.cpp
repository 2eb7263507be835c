#include "session/CommandLine.h"

#include <cctype>

namespace quillon {

namespace {

// "--name=value" or "--name value".
bool TakeValue(const std::vector<std::string>& argv, std::size_t& i, const std::string& name,
               std::string& value) {
  const std::string& arg = argv[i];
  if (arg == name) {
    if (i + 1 >= argv.size())
      throw EUsageError{"option " + name + " needs a value"};
    value = argv[++i];
    return true;
  }
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

void AddDrive(TImageOptions& options, const std::string& mapping) {
  if (mapping.size() < 3 || mapping[1] != '=' ||
      !std::isalpha(static_cast<unsigned char>(mapping[0])))
    throw EUsageError{"bad drive '" + mapping +
                      "': expected a letter, '=' and a folder, like D=/mnt/usb"};
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(mapping[0])));
  if (letter == 'C')
    throw EUsageError{"bad drive '" + mapping + "': drive C: is the image; use --image DIR"};
  if (options.drives.count(letter))
    throw EUsageError{std::string("drive ") + letter + ": is given twice"};
  options.drives[letter] = mapping.substr(2);
}

} // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& argv) {
  TCommandLine options;
  std::size_t i = 0;
  for (; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    std::string value;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (TakeValue(argv, i, "--image", value)) {
      if (value.empty())
        throw EUsageError{"option --image needs a folder"};
      options.imageOptions.image = value;
    } else if (TakeValue(argv, i, "--user", value)) {
      if (value.empty())
        throw EUsageError{"option --user needs a name or SID"};
      options.imageOptions.user = value;
    } else if (TakeValue(argv, i, "--drive", value)) {
      AddDrive(options.imageOptions, value);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw EUsageError{"unknown option " + arg};
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
  --version       the program's name and version
  -h, --help      this text
)";
}

} // namespace quillon
