#include "cli/CliOptions.h"

#include "session/HostSystem.h"

namespace quillon::cli {

std::string CliUsageText() {
  const TSystemUsage& usage = SystemUsage();
  return std::string("Usage: quillon-cli ") + usage.synopsis + "COMMAND [ARGS]\n\n" +
         "Shows the web-browser profiles of " + usage.system + " and what each browser keeps.\n\n" +
         usage.options +
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
  clean|purge INDEX KINDS --dry-run
                  changes nothing: prints per kind what would go (for clean the accepted
                  entries with their count, for purge how many entries); --dry-run may
                  stand anywhere after the command
  ie-cache [--sort COLUMN]
                  the session user's Internet Explorer URL cache with every field, as the
                  cache window shows it; sorted ascending by COLUMN, one of source, local,
                  type, use, hits, size, modified, expires, access, sync, extension
  opera-cookies FILE
                  the Opera cookie file FILE (cookies4.dat) as the Opera cookie window shows
                  it: the tree of its domains, then one line per cookie with every field
  opera-cache FILE
                  the Opera cache index FILE (dcache4.url): one line per entry with its
                  address, cache file name, HTTP text and expiry under the window's captions;
                  for both, a file that cannot be read whole prints what was read, then
                  a line on stderr, and exits with 1
  mork FILE [VIEW]
                  the Mork file FILE (history.dat, an address book, a mail summary) as the
                  Mork viewer's tab VIEW shows it: raw (every cell as met), fields (the
                  column dictionary), data (the value dictionary), table (the rows as
                  written) or result (default: the rows resolved, one column per field)
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
