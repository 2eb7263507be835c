#include "kit/SQLiteStoreWriter.h"

#include "formats/BrowserCacheSQLite.h"

#include <filesystem>
#include <initializer_list>
#include <memory>

namespace quillon::kit {

namespace {

// A fresh database with the given schema, filled inside one transaction by fill.
template <typename Fill>
void WriteDatabase(const std::string& fileName, std::initializer_list<const char*> schema,
                   Fill&& fill) {
  std::error_code ec;
  std::filesystem::remove(fileName, ec);
  std::filesystem::remove(fileName + "-journal", ec);
  TSQLiteDatabase db(fileName, TSQLiteOpenMode::Create);
  db.BeginTransaction();
  for (const char* statement : schema)
    db.ExecSQL(statement);
  fill(db);
  db.Commit();
}

void BindText(TSQLiteStatement& s, int index, const TOptText& text) {
  if (text)
    s.BindText(index, *text);
  else
    s.BindNull(index);
}

} // namespace

void WriteFirefox3Cookies(const std::string& fileName, const std::vector<TFirefoxCookieRow>& rows) {
  WriteDatabase(
      fileName,
      {"CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, name TEXT, value TEXT, host TEXT, "
       "path TEXT,expiry INTEGER, lastAccessed INTEGER, isSecure INTEGER, isHttpOnly INTEGER)"},
      [&](TSQLiteDatabase& db) {
        const auto insert = db.Prepare("INSERT INTO moz_cookies (id, name, value, host, path, "
                                       "expiry, lastAccessed, isSecure, isHttpOnly) VALUES "
                                       "(?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const TFirefoxCookieRow& row : rows) {
          insert->BindInt64(1, row.Id);
          BindText(*insert, 2, row.Name);
          BindText(*insert, 3, row.Value);
          BindText(*insert, 4, row.Host);
          BindText(*insert, 5, row.Path);
          insert->BindInt64(6, row.Expiry);
          insert->BindInt64(7, row.LastAccessed);
          insert->BindInt64(8, row.IsSecure ? 1 : 0);
          insert->BindInt64(9, row.IsHttpOnly ? 1 : 0);
          insert->Execute();
        }
      });
}

void WriteFirefox3Places(const std::string& fileName, const std::vector<TFirefoxPlaceRow>& places,
                         const std::vector<TFirefoxBookmarkRow>& bookmarks,
                         const std::vector<TFirefoxVisitRow>& visits) {
  WriteDatabase(
      fileName,
      {"CREATE TABLE moz_bookmarks (id INTEGER PRIMARY KEY, type INTEGER, fk INTEGER DEFAULT "
       "NULL, parent INTEGER, position INTEGER, title LONGVARCHAR, keyword_id INTEGER, "
       "folder_type TEXT, dateAdded INTEGER, lastModified INTEGER)",
       "CREATE TABLE moz_bookmarks_roots (root_name VARCHAR(16) UNIQUE, folder_id INTEGER)",
       "CREATE TABLE moz_keywords (id INTEGER PRIMARY KEY AUTOINCREMENT, keyword TEXT UNIQUE)",
       "CREATE TABLE moz_favicons (id INTEGER PRIMARY KEY, url LONGVARCHAR UNIQUE, data BLOB, "
       "mime_type VARCHAR(32), expiration LONG)",
       "CREATE TABLE moz_places (id INTEGER PRIMARY KEY, url LONGVARCHAR, title LONGVARCHAR, "
       "rev_host LONGVARCHAR, visit_count INTEGER DEFAULT 0, hidden INTEGER DEFAULT 0 NOT NULL, "
       "typed INTEGER DEFAULT 0 NOT NULL, favicon_id INTEGER, frecency INTEGER DEFAULT -1 NOT "
       "NULL)",
       "CREATE TABLE moz_historyvisits (id INTEGER PRIMARY KEY, from_visit INTEGER, place_id "
       "INTEGER, visit_date INTEGER, visit_type INTEGER, session INTEGER)",
       "CREATE TABLE moz_inputhistory (place_id INTEGER NOT NULL, input LONGVARCHAR NOT NULL, "
       "use_count INTEGER, PRIMARY KEY (place_id, input))",
       "CREATE INDEX moz_bookmarks_itemindex ON moz_bookmarks (fk, type)",
       "CREATE INDEX moz_bookmarks_parentindex ON moz_bookmarks (parent, position)",
       "CREATE UNIQUE INDEX moz_places_url_uniqueindex ON moz_places (url)",
       "CREATE INDEX moz_historyvisits_placedateindex ON moz_historyvisits (place_id, "
       "visit_date)"},
      [&](TSQLiteDatabase& db) {
        const auto place = db.Prepare("INSERT INTO moz_places (id, url, title, rev_host, "
                                      "visit_count) VALUES (?, ?, ?, ?, ?)");
        for (const TFirefoxPlaceRow& row : places) {
          place->BindInt64(1, row.Id);
          BindText(*place, 2, row.Url);
          BindText(*place, 3, row.Title);
          place->BindNull(4);
          place->BindInt64(5, row.VisitCount);
          place->Execute();
        }
        const auto bookmark =
            db.Prepare("INSERT INTO moz_bookmarks (id, type, fk, parent, position, title, "
                       "dateAdded, lastModified) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
        for (const TFirefoxBookmarkRow& row : bookmarks) {
          bookmark->BindInt64(1, row.Id);
          bookmark->BindInt64(2, row.Type);
          if (row.Fk)
            bookmark->BindInt64(3, *row.Fk);
          else
            bookmark->BindNull(3);
          bookmark->BindInt64(4, row.Parent);
          bookmark->BindInt64(5, row.Position);
          BindText(*bookmark, 6, row.Title);
          bookmark->BindInt64(7, row.DateAdded);
          bookmark->BindInt64(8, row.DateAdded);
          bookmark->Execute();
        }
        const auto visit = db.Prepare("INSERT INTO moz_historyvisits (id, from_visit, place_id, "
                                      "visit_date, visit_type, session) VALUES (?, 0, ?, ?, 1, 0)");
        for (const TFirefoxVisitRow& row : visits) {
          visit->BindInt64(1, row.Id);
          visit->BindInt64(2, row.PlaceId);
          visit->BindInt64(3, row.VisitDate);
          visit->Execute();
        }
      });
}

void WriteChromeCookies(const std::string& fileName, const std::vector<TChromeCookieRow>& rows) {
  WriteDatabase(
      fileName,
      {"CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY,value LONGVARCHAR)",
       "INSERT INTO meta VALUES ('version', '1'), ('last_compatible_version', '1')",
       "CREATE TABLE cookies (creation_utc INTEGER NOT NULL UNIQUE PRIMARY KEY,host_key TEXT "
       "NOT NULL,name TEXT NOT NULL,value TEXT NOT NULL,path TEXT NOT NULL,expires_utc INTEGER "
       "NOT NULL,secure INTEGER NOT NULL,httponly INTEGER NOT NULL,last_access_utc INTEGER NOT "
       "NULL)",
       "CREATE INDEX cookie_times ON cookies (creation_utc)"},
      [&](TSQLiteDatabase& db) {
        const auto insert = db.Prepare("INSERT INTO cookies VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (const TChromeCookieRow& row : rows) {
          insert->BindInt64(1, row.CreationUtc);
          insert->BindText(2, row.HostKey);
          insert->BindText(3, row.Name);
          insert->BindText(4, row.Value);
          insert->BindText(5, row.Path);
          insert->BindInt64(6, row.ExpiresUtc);
          insert->BindInt64(7, row.Secure ? 1 : 0);
          insert->BindInt64(8, row.HttpOnly ? 1 : 0);
          insert->BindInt64(9, row.LastAccessUtc);
          insert->Execute();
        }
      });
}

void WriteChromeHistory(const std::string& fileName, const std::vector<TChromeUrlRow>& urls,
                        const std::vector<TChromeVisitRow>& visits,
                        const std::vector<TChromeStarredRow>& starred) {
  WriteDatabase(
      fileName,
      {"CREATE TABLE meta(key LONGVARCHAR NOT NULL UNIQUE PRIMARY KEY,value LONGVARCHAR)",
       "INSERT INTO meta VALUES ('version', '15'), ('last_compatible_version', '15')",
       "CREATE TABLE urls(id INTEGER PRIMARY KEY,url LONGVARCHAR,title LONGVARCHAR,visit_count "
       "INTEGER DEFAULT 0 NOT NULL,typed_count INTEGER DEFAULT 0 NOT NULL,last_visit_time "
       "INTEGER NOT NULL,hidden INTEGER DEFAULT 0 NOT NULL,favicon_id INTEGER DEFAULT 0 NOT "
       "NULL)",
       "CREATE TABLE visits(id INTEGER PRIMARY KEY,url INTEGER NOT NULL,visit_time INTEGER NOT "
       "NULL,from_visit INTEGER,transition INTEGER DEFAULT 0 NOT NULL,segment_id INTEGER,"
       "is_indexed BOOLEAN)",
       "CREATE TABLE starred (id INTEGER PRIMARY KEY,type INTEGER NOT NULL DEFAULT 0,title "
       "LONGVARCHAR,parent_id INTEGER,date_added INTEGER NOT NULL,visual_order INTEGER DEFAULT "
       "0,url_id INTEGER DEFAULT 0 NOT NULL,group_id INTEGER DEFAULT 0 NOT NULL,date_modified "
       "INTEGER NOT NULL DEFAULT 0)",
       "CREATE TABLE keyword_search_terms (keyword_id INTEGER NOT NULL,url_id INTEGER NOT "
       "NULL,lower_term LONGVARCHAR NOT NULL,term LONGVARCHAR NOT NULL)",
       "CREATE TABLE segments (id INTEGER PRIMARY KEY,name VARCHAR,url_id INTEGER NON NULL,"
       "pres_index INTEGER DEFAULT -1 NOT NULL)",
       "CREATE TABLE segment_usage (id INTEGER PRIMARY KEY,segment_id INTEGER NOT NULL,"
       "time_slot INTEGER NOT NULL,visit_count INTEGER DEFAULT 0 NOT NULL)",
       "CREATE INDEX visits_url_index ON visits (url)",
       "CREATE INDEX visits_time_index ON visits (visit_time)",
       "CREATE INDEX urls_url_index ON urls (url)",
       "CREATE INDEX starred_index ON starred (id,parent_id,url_id,group_id)"},
      [&](TSQLiteDatabase& db) {
        const auto url = db.Prepare("INSERT INTO urls (id, url, title, visit_count, "
                                    "last_visit_time) VALUES (?, ?, ?, ?, ?)");
        for (const TChromeUrlRow& row : urls) {
          url->BindInt64(1, row.Id);
          BindText(*url, 2, row.Url);
          BindText(*url, 3, row.Title);
          url->BindInt64(4, row.VisitCount);
          url->BindInt64(5, row.LastVisitTime);
          url->Execute();
        }
        const auto visit = db.Prepare("INSERT INTO visits (id, url, visit_time, from_visit, "
                                      "transition, segment_id, is_indexed) VALUES (?, ?, ?, 0, "
                                      "805306368, 0, 1)");
        for (const TChromeVisitRow& row : visits) {
          visit->BindInt64(1, row.Id);
          visit->BindInt64(2, row.Url);
          visit->BindInt64(3, row.VisitTime);
          visit->Execute();
        }
        const auto star =
            db.Prepare("INSERT INTO starred (id, type, title, parent_id, date_added, url_id, "
                       "date_modified) VALUES (?, ?, ?, ?, ?, ?, ?)");
        for (const TChromeStarredRow& row : starred) {
          star->BindInt64(1, row.Id);
          star->BindInt64(2, row.Type);
          BindText(*star, 3, row.Title);
          star->BindInt64(4, row.ParentId);
          star->BindInt64(5, row.DateAdded);
          star->BindInt64(6, row.UrlId);
          star->BindInt64(7, row.DateModified);
          star->Execute();
        }
      });
}

} // namespace quillon::kit
