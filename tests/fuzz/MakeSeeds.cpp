// Writes the seed inputs of the fuzz targets with the image kit's writers, so that every run
// starts from files shaped as the browsers and Windows write them:
//   quillon-fuzz-seeds <folder>   ->  <folder>/corpus-<Target>/<seed>
// The real samples are added beside these by scripts/fuzz.sh.

#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "kit/HiveWriter.h"
#include "kit/IndexDatWriter.h"
#include "kit/MorkWriter.h"
#include "kit/MozillaTextStores.h"
#include "kit/NetscapeRegistryWriter.h"
#include "kit/PeWriter.h"
#include "platform/ListFile.h"
#include "winapi/image/Hive.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace quillon;

namespace {

std::filesystem::path gRoot;

std::string Corpus(const std::string& target) {
  const std::filesystem::path dir = gRoot / ("corpus-" + target);
  std::filesystem::create_directories(dir);
  return dir.string();
}

void Write(const std::string& target, const std::string& name, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(Corpus(target)) / ("kit-" + name), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void NetscapeRegistrySeeds() {
  Write("NetscapeRegistryFuzz", "nsreg.dat",
        kit::BuildNetscape4Registry({{"alice", "C:\\Program Files\\Netscape\\Users\\alice"},
                                     {"bob", "C:\\Program Files\\Netscape\\Users\\bob"}}));
  Write("NetscapeRegistryFuzz", "registry.dat",
        kit::BuildMozillaRegistry({{"default", "C:\\Documents and Settings\\a\\Mozilla\\x.slt"},
                                   {"work", "D:\\Profiles\\work"}},
                                  "default"));
  kit::TNetscapeRegistryWriter writer;
  writer.AddKey("Common\\Netscape\\Mozilla");
  writer.AddString("Common\\Profiles\\one", "directory", "C:\\one");
  writer.AddString("Common\\Profiles\\one", "directory", "C:\\again");
  writer.AddRaw("Common\\Profiles\\one", "NCHavePregInfo", kit::kNSRegTypeInt32,
                std::string("\x01\x00\x00\x00", 4));
  writer.AddRaw("Common\\Profiles\\one", "blob", kit::kNSRegTypeBytes, std::string("\x00\xff", 2));
  writer.AddString("Common\\Profiles", "CurrentProfile", "one");
  Write("NetscapeRegistryFuzz", "mixed.dat", writer.Build());
}

void MorkSeeds() {
  const std::vector<kit::TMorkHistoryEntry> entries = {
      {"http://www.example.com/", "Example", "www.example.com", 1171234567000000, 1171234999000000,
       3, true},
      {"http://example.org/a?b=c&d=%20)$\\", "Title with ) and $ and \\", "example.org",
       1100000000000000, 1100000500000000, 1, false},
      {"https://long.example.net/" + std::string(150, 'x'), std::string("caf\xc3\xa9"),
       "long.example.net", 1, 2, 1, false}};
  Write("FFMorkSimpleFuzz", "history.dat", kit::BuildHistoryDat(entries));
  Write("FFMorkSimpleFuzz", "history-crlf.dat", kit::BuildHistoryDat(entries, {40, true}));

  kit::TMorkWriter writer({0, false});
  writer.BeginTable("1", "ns:history:db:row:scope:history:all", "ns:history:db:table:kind:history");
  writer.AddRow("1", {{"URL", "http://a.example/", false}, {"LastVisitDate", "123", true}});
  writer.BeginGroup();
  writer.BeginTable("1", "ns:history:db:row:scope:history:all", "ns:history:db:table:kind:history");
  writer.AddRow("-1", {{"URL", "http://a.example/", false}});
  writer.AddRow("2:m", {{"Name", "meta", true}});
  writer.EndGroup();
  Write("FFMorkSimpleFuzz", "groups.dat", writer.Build());
}

void PrefsSeeds() {
  const std::vector<kit::TPrefValue> prefs = {
      {"browser.startup.homepage", "http://www.example.com/", kit::TPrefKind::String},
      {"browser.cache.disk.capacity", "50000", kit::TPrefKind::Integer},
      {"browser.startup.homepage_override", "true", kit::TPrefKind::Boolean},
      {"browser.search.defaulturl", "http://s.example/?q=\"a\"\\b", kit::TPrefKind::String}};
  Write("MozillaPrefsFuzz", "prefs.js", kit::BuildPrefsJs(prefs));
  Write("MozillaPrefsFuzz", "prefs-ns4.js",
        kit::BuildPrefsJs(prefs, {kit::TMozillaDialect::Netscape4, false}));
  Write("MozillaPrefsFuzz", "statements.js",
        "# Mozilla User Preferences\n\n// comment\npref(\"a\", 1);\nlockPref(\"b\", true);\n"
        "  user_pref(\"quoted \"\"name\"\"\", \"v\");  \n/* user_pref(\"c\", +7); */\n"
        "user_pref(unquoted, -12);");
}

void PeSeeds() {
  for (const bool is64 : {false, true}) {
    kit::TPeOptions options;
    options.Is64 = is64;
    options.Version = kit::BrowserVersionInfo("1.0.154.48", "Browser", "Example Corp.");
    Write("PEVersionsFuzz", is64 ? "browser64.exe" : "browser32.exe", kit::BuildPeFile(options));
  }
  kit::TPeOptions legacy;
  legacy.WithCode = false;
  kit::TPeVersionInfo info = kit::BrowserVersionInfo("3.6.28.0", "Firefox", "Mozilla");
  info.LegacyStringLengths = true;
  info.Translations.push_back({0x0407, 1252});
  info.StringTables.push_back({0x0407, 1252, {{"Translators", "Someone"}, {"Comments", ""}}});
  legacy.Version = info;
  Write("PEVersionsFuzz", "legacy.exe", kit::BuildPeFile(legacy));
  Write("PEVersionsFuzz", "noversion.exe", kit::BuildPeFile({}));
  Write("PEVersionsFuzz", "resource.bin", kit::BuildVersionResource(info));
}

void ListFileSeeds() {
  const std::string key = BuildListKey();
  Write("ListFileFuzz", "list.ieldat",
        EncodeListText("S HKCU\\Software\\Microsoft\\Internet Explorer\\Main\\Start Page\r\n"
                       "F HKCU\\Software\\Microsoft\\Internet Explorer\\Main\\Search Page\r\n",
                       key));
  Write("ListFileFuzz", "short.ieldat", EncodeListText("S x\n", key));
}

void HiveSeeds() {
  Write("HiveFuzz", "empty.hiv", winapi::image::EmptyHiveBytes("SOFTWARE"));
  const std::string path =
      (std::filesystem::path(Corpus("HiveFuzz")) / "kit-software.hiv").string();
  kit::THiveWriter writer(path);
  const std::string list = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
  const std::string sid = "S-1-5-21-1111111111-2222222222-3333333333-1001";
  writer.SetString(list + sid, "ProfileImagePath", "%SystemDrive%\\Users\\alice", 2);
  writer.SetString(list + "S-1-5-18", "ProfileImagePath", "C:\\Windows\\system32\\config\\x");
  writer.SetString("Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "C:\\Program Files");
  writer.SetMultiString("Clients\\StartMenuInternet", "List", {"a", "b"});
  writer.SetDword("Mozilla\\Firefox", "Count", 7);
  writer.SetQword("Mozilla\\Firefox", "Big", 1ull << 40);
  writer.SetRaw("Mozilla\\Firefox", "", 3, std::string("\x00\x01\x02", 3));
  writer.CreateKey("Wow6432Node\\Mozilla");
  writer.Commit();
}

void IniSeeds() {
  // profiles.ini as Firefox writes it; the kit has no writer for it.
  Write("IniFileFuzz", "profiles.ini",
        "[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\r\nName=default\r\n"
        "IsRelative=1\r\nPath=Profiles/abcd1234.default\r\nDefault=1\r\n\r\n"
        "[Profile1]\r\nName=work\r\nIsRelative=0\r\nPath=D:\\Profiles\\work\r\n");
  Write("IniFileFuzz", "odd.ini",
        "\xEF\xBB\xBF; comment\n# other\n[ General ]\nkey = -0x1F\n[general]\nkey=2\n"
        "[unclosed\nx=+7\n=empty\n");
}

// The text-store targets read their input's first byte as a repeat count (FuzzFile.h).
void CookiesTxtSeeds() {
  const std::vector<kit::TCookieTxt> cookies = {
      {".example.com", true, "/", false, 1900000000, "id", "1"},
      {"shop.example.org", false, "/cart", true, 1900000001, "cart", "a=b"}};
  Write("CookiesTxtFuzz", "cookies.txt", std::string(1, '\0') + kit::BuildCookiesTxt(cookies));
  Write("CookiesTxtFuzz", "cookies-ns4.txt",
        std::string(1, '\0') +
            kit::BuildCookiesTxt(cookies, {kit::TMozillaDialect::Netscape4, true}));
  Write("CookiesTxtFuzz", "odd.txt",
        "\x02#HttpOnly_.a.example\tTRUE\t/\tTRUE\t1\ts\tv\n  .b  TRUE / FALSE x \"q \"\"n\"\"\" v\n"
        ".c\tTRUE\t/\tFALSE\t1\tempty\t\n.c\tTRUE\t/\tFALSE\t1\tempty\t\n\r\n# c\n");
  Write("CookiesTxtFuzz", "many.txt", "\x07.a.example\tTRUE\t/\tFALSE\t1\tn\tv\n\n\n");
}

void BookmarksHtmlSeeds() {
  Write("BookmarksHtmlFuzz", "bookmarks.html",
        std::string(1, '\0') +
            kit::BuildBookmarksHtml(
                {kit::TBookmarkNode::Bookmark("Home", "http://home.example/", 1000000000),
                 kit::TBookmarkNode::Folder(
                     "Work & Play",
                     {kit::TBookmarkNode::Bookmark("News", "http://news.example/"),
                      kit::TBookmarkNode::Folder(
                          "Deep", {kit::TBookmarkNode::Bookmark("Docs", "http://d/")})})}));
  // One level of nesting, repeated into a deep tree; and the closing side of it.
  Write("BookmarksHtmlFuzz", "nest.html",
        "\x07<DT><H3 ADD_DATE=\"1\">Folder name</H3>\n<DL><p>\n<DT><A HREF=\"http://a/\">A</A>\n");
  Write("BookmarksHtmlFuzz", "close.html", "\x07</DL><p>\n<DT><A HREF=\"http://b/\">B</A>\n");
}

// IndexDatFuzz takes a file without the bitmap part of its header (bytes 0x250 to 0x4000).
void IndexDatSeeds() {
  const auto compact = [](const std::string& file) {
    return file.substr(0, 0x250) + file.substr(0x4000);
  };
  std::vector<winapi::image::TIndexDatRecord> records(3);
  records[0].Url = "http://www.example.com/a/index.html";
  records[0].FileName = "index[1].htm";
  records[0].CacheFolder = 1;
  records[0].Headers = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n~U:alice\r\n";
  records[0].EntryType = 0x41;
  records[0].FileSize = 5120;
  records[0].LastAccess = {0x12345678, 0x01D0DF25};
  records[0].Expire = {0x9ABCDEF0, 0x01D1F000};
  records[1].Url = "Cookie:alice@example.com/";
  records[1].FileName = "alice@example[1].txt";
  records[1].EntryType = 0x00100001;
  records[2].Url = "Visited: alice@http://www.example.com/";
  records[2].EntryType = 0x00200001;
  records[2].HitRate = 3;
  Write("IndexDatFuzz", "content.dat",
        compact(kit::BuildIndexDat({"ABCDEFGH", "12345678"}, records)));
  Write("IndexDatFuzz", "empty.dat", compact(kit::BuildIndexDat({}, {})));
}

} // namespace

// Opera's binary files as the writer lays them out, in both formats; the real samples come from
// scripts/fuzz.sh.
void O4Seeds() {
  for (const int format : {0, 1}) {
    TO4CookieRoot cookies;
    cookies.Format = format;
    TO4Domain& com = cookies.AddDomain();
    com.Name = "com";
    TO4Domain& example = com.AddDomain();
    example.Name = "example";
    example.FilterType = 1;
    example.AddPath("/shop");
    TO4Cookie& cookie = example.AddCookie();
    cookie.Name = "id";
    cookie.Value = "42";
    cookie.Expires = 1700000000;
    cookie.Secure = true;
    example.AddCookie().Name = "bare";
    example.AddDomain().Name = "www";
    Write("O4CookieFuzz", "cookies4-format" + std::to_string(format) + ".dat",
          cookies.SaveToBytes());

    TO4CacheRoot cache;
    cache.Format = format;
    TO4CacheEntry& entry = cache.AddEntry();
    entry.Url = "http://example.com/style.css";
    entry.Tag05 = 1700000000;
    entry.FileName = "opr00001.css";
    entry.HTTPRecord.Tag15 = "text/css";
    entry.HTTPRecord.Expires = 1800000000;
    entry.AddLink().Tag23 = "img/a.png";
    cache.AddEntry().Url = "http://example.com/";
    Write("O4CacheFuzz", "dcache4-format" + std::to_string(format) + ".url", cache.SaveToBytes());
  }
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  gRoot = argv[1];
  NetscapeRegistrySeeds();
  MorkSeeds();
  PrefsSeeds();
  PeSeeds();
  ListFileSeeds();
  HiveSeeds();
  IniSeeds();
  CookiesTxtSeeds();
  BookmarksHtmlSeeds();
  IndexDatSeeds();
  O4Seeds();
  return 0;
}
