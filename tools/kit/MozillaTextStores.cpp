#include "kit/MozillaTextStores.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <utility>

namespace quillon::kit {

namespace {

std::string LineBreak(const TMozillaTextOptions& options) {
  return options.CrLf ? "\r\n" : "\n";
}

// The lines, each followed by the line break ("" gives an empty line).
std::string WithBreaks(std::initializer_list<std::string_view> lines, std::string_view nl) {
  std::string out;
  for (const std::string_view line : lines)
    out.append(line).append(nl);
  return out;
}

// The browsers escape only what would end the string or the line.
std::string EscapePrefString(std::string_view s) {
  std::string out;
  for (const char c : s) {
    if (c == '\\' || c == '"')
      out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '\r') {
      out += "\\r";
      continue;
    }
    out += c;
  }
  return out;
}

class TBookmarksWriter {
public:
  TBookmarksWriter(const TMozillaTextOptions& options, std::vector<TBookmarkRecord>* records)
      : options_(options), nl_(LineBreak(options)), records_(records) {}

  std::string Build(const std::vector<TBookmarkNode>& root) {
    const bool mozilla = options_.Dialect == TMozillaDialect::Mozilla;
    out_ += "<!DOCTYPE NETSCAPE-Bookmark-file-1>" + nl_;
    out_ +=
        mozilla
            ? WithBreaks({"<!-- This is an automatically generated file.",
                          "     It will be read and overwritten.", "     DO NOT EDIT! -->",
                          "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
                          "charset=UTF-8\">",
                          "<TITLE>Bookmarks</TITLE>",
                          "<H1 LAST_MODIFIED=\"1164553627\">Bookmarks</H1>", ""},
                         nl_)
            : WithBreaks({"<!-- This is an automatically generated file.",
                          "It will be read and overwritten.", "Do Not Edit! -->",
                          "<TITLE>Bookmarks for alice</TITLE>", "<H1>Bookmarks for alice</H1>", ""},
                         nl_);
    Folder(root, 0, {});
    return std::move(out_);
  }

private:
  static std::string Attr(std::string_view name, std::int64_t value) {
    return value == 0 ? std::string()
                      : " " + std::string(name) + "=\"" + std::to_string(value) + '"';
  }
  std::string IdAttr(const std::string& id) const {
    return id.empty() || options_.Dialect != TMozillaDialect::Mozilla ? std::string()
                                                                      : " ID=\"" + id + '"';
  }

  // Writes the <DL> of one folder level; the depth is the kit's own tree's.
  void Folder(const std::vector<TBookmarkNode>& children, std::size_t depth,
              const std::string& path) {
    const std::string indent(depth * 4, ' ');
    const std::string inner((depth + 1) * 4, ' ');
    out_ += indent + "<DL><p>" + nl_;
    for (const TBookmarkNode& node : children) {
      switch (node.Kind) {
      case TBookmarkNode::TKind::Separator:
        out_ += inner + "<HR>" + nl_;
        break;
      case TBookmarkNode::TKind::Folder: {
        const std::string title = EscapeBookmarkText(node.Title);
        out_ += inner + "<DT><H3" + Attr("ADD_DATE", node.AddDate) +
                Attr("LAST_MODIFIED", node.LastModified) + IdAttr(node.Id) + ">" + title + "</H3>" +
                nl_;
        Description(node);
        Folder(node.Children, depth + 1, path.empty() ? title : path + "\\" + title);
        break;
      }
      case TBookmarkNode::TKind::Bookmark: {
        const std::string title = EscapeBookmarkText(node.Title);
        std::string line = inner + "<DT><A HREF=\"" + node.Url + '"' +
                           Attr("ADD_DATE", node.AddDate) + Attr("LAST_VISIT", node.LastVisit) +
                           Attr("LAST_MODIFIED", node.LastModified);
        if (options_.Dialect == TMozillaDialect::Mozilla)
          line += " LAST_CHARSET=\"UTF-8\"";
        line += IdAttr(node.Id) + ">" + title + "</A>";
        if (records_ != nullptr)
          records_->push_back({title, node.Url, path, line});
        out_ += line + nl_;
        Description(node);
        break;
      }
      }
    }
    out_ += indent + "</DL><p>" + nl_;
  }

  void Description(const TBookmarkNode& node) {
    if (!node.Description.empty())
      out_ += "<DD>" + EscapeBookmarkText(node.Description) + nl_;
  }

  const TMozillaTextOptions& options_;
  std::string nl_;
  std::vector<TBookmarkRecord>* records_;
  std::string out_;
};

} // namespace

std::string PrefsJsLine(const TPrefValue& pref) {
  std::string value =
      pref.Kind == TPrefKind::String ? '"' + EscapePrefString(pref.Value) + '"' : pref.Value;
  return "user_pref(\"" + EscapePrefString(pref.Name) + "\", " + value + ");";
}

std::string BuildPrefsJs(std::vector<TPrefValue> prefs, TMozillaTextOptions options) {
  const std::string nl = LineBreak(options);
  std::string out =
      options.Dialect == TMozillaDialect::Mozilla
          ? WithBreaks({"# Mozilla User Preferences", "", "/* Do not edit this file.", " *",
                        " * If you make changes to this file while the application is running,",
                        " * the changes will be overwritten when the application exits.", " *",
                        " * To make a manual change to preferences, you can visit the URL "
                        "about:config",
                        " * For more information, see "
                        "http://www.mozilla.org/unix/customizing.html#prefs",
                        " */", ""},
                       nl)
          : WithBreaks(
                {"// Netscape User Preferences", "// This is a generated file!  Do not edit.", ""},
                nl);
  std::stable_sort(prefs.begin(), prefs.end(),
                   [](const TPrefValue& a, const TPrefValue& b) { return a.Name < b.Name; });
  for (const TPrefValue& pref : prefs)
    out += PrefsJsLine(pref) + nl;
  return out;
}

std::string CookiesTxtLine(const TCookieTxt& c) {
  return c.Domain + '\t' + (c.Subdomains ? "TRUE" : "FALSE") + '\t' + c.Path + '\t' +
         (c.Secure ? "TRUE" : "FALSE") + '\t' + std::to_string(c.Expires) + '\t' + c.Name + '\t' +
         c.Value;
}

std::string BuildCookiesTxt(const std::vector<TCookieTxt>& cookies, TMozillaTextOptions options) {
  const std::string nl = LineBreak(options);
  std::string out = options.Dialect == TMozillaDialect::Mozilla
                        ? WithBreaks({"# HTTP Cookie File",
                                      "# http://www.netscape.com/newsref/std/cookie_spec.html",
                                      "# This is a generated file!  Do not edit.",
                                      "# To delete cookies, use the Cookie Manager.", ""},
                                     nl)
                        : WithBreaks({"# Netscape HTTP Cookie File",
                                      "# http://www.netscape.com/newsref/std/cookie_spec.html",
                                      "# This is a generated file!  Do not edit.", ""},
                                     nl);
  for (const TCookieTxt& cookie : cookies)
    out += CookiesTxtLine(cookie) + nl;
  return out;
}

TBookmarkNode TBookmarkNode::Bookmark(std::string title, std::string url, std::int64_t addDate,
                                      std::int64_t lastVisit, std::string id) {
  TBookmarkNode node;
  node.Kind = TKind::Bookmark;
  node.Title = std::move(title);
  node.Url = std::move(url);
  node.AddDate = addDate;
  node.LastVisit = lastVisit;
  node.Id = std::move(id);
  return node;
}

TBookmarkNode TBookmarkNode::Folder(std::string title, std::vector<TBookmarkNode> children,
                                    std::int64_t addDate) {
  TBookmarkNode node;
  node.Kind = TKind::Folder;
  node.Title = std::move(title);
  node.Children = std::move(children);
  node.AddDate = addDate;
  return node;
}

TBookmarkNode TBookmarkNode::Separator() {
  TBookmarkNode node;
  node.Kind = TKind::Separator;
  return node;
}

std::string EscapeBookmarkText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::string BuildBookmarksHtml(const std::vector<TBookmarkNode>& root, TMozillaTextOptions options,
                               std::vector<TBookmarkRecord>* records) {
  return TBookmarksWriter(options, records).Build(root);
}

} // namespace quillon::kit
