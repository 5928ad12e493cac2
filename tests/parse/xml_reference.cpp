#include "parse/xml_reference.h"

#include <cctype>
#include <cstdint>

#include "base/text_case.h"
#include "base/text_helpers.h"
#include "parse/smart_parser.h"

namespace kv::ref {

namespace {
const size_t npos = std::string::npos;
bool Has(const std::string& s, const std::string& sub) { return s.find(sub) != npos; }
std::string After(const std::string& line, const std::string& key) {
  return TrimBlanks(line.substr(line.find(key) + key.size()));
}
std::string NoGt(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '>') out += c;
  return out;
}
}  // namespace

size_t PosFrom(const std::string& sub, const std::string& s, size_t from) {
  if (from < 1) from = 1;
  if (from >= s.size() || sub.empty()) return 0;
  for (size_t i = from - 1; i + sub.size() <= s.size(); ++i)
    if (s.compare(i, sub.size(), sub) == 0) return i + 1;
  return 0;
}

std::string ReplaceAll(const std::string& s, const std::string& old_text,
                       const std::string& new_text) {
  if (old_text.empty()) return s;
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    if (s.compare(i, old_text.size(), old_text) == 0) {
      out += new_text;
      i += old_text.size();
    } else {
      out += s[i++];
    }
  }
  return out;
}

std::string FormatIndex2(long long n) {
  unsigned long long v = n < 0 ? 0ULL - static_cast<unsigned long long>(n) : n;
  std::string s = std::to_string(v);
  if (v < 10) s = "0" + s;
  return s;
}

void NumberElements(const std::string& text, const std::string& name, int& count,
                    std::string& result) {
  count = 0;
  std::string t = ReplaceAll(text, "<" + name, "<" + name + ":00");
  t = ReplaceAll(t, "</" + name, "</" + name + ":00");
  const std::string open = "<" + name + ":00";
  const std::string close = "</" + name + ":00>";
  while (t.find(open) != npos) {
    size_t p = t.find(open);
    const size_t c = t.find(close, p + open.size());
    if (c == npos) break;
    for (size_t inner = t.find(open, p + 1); inner != npos && inner < c;
         inner = t.find(open, p + 1))
      p = inner;
    ++count;
    const std::string nn = FormatIndex2(count);
    t = t.substr(0, p) + "<" + name + ":" + nn +
        t.substr(p + open.size(), c - (p + open.size())) + "</" + name + ":" + nn + ">" +
        t.substr(c + close.size());
  }
  result = t;
}

void NumberSelfClosing(const std::string& text, const std::string& name, int& count,
                       std::string& result) {
  count = 0;
  std::string t = text;
  size_t start = 1;
  for (;;) {
    ++count;
    if (count >= 101) {
      --count;  // this step never searched
      break;
    }
    const size_t p = PosFrom("<" + name + " ", t, start);
    if (p == 0) break;
    const size_t q = PosFrom("/>", t, p);
    if (q == 0) break;
    const size_t a = p - 1 + 1 + name.size();
    const std::string attrs = t.substr(a, (q - 1) - a);
    const std::string nn = FormatIndex2(count - 1);
    t = t.substr(0, p - 1) + "<" + name + ":" + nn + " " + attrs + " ></" + name + ":" + nn +
        ">" + t.substr(q + 1);
    if (t.find("<" + name + " ") == npos) break;
    start = q + 1;
  }
  result = t;
}

void NumberAttributeTags(std::string& text, int& counter) {
  while (counter < 101 && text.find("<attribute ") != npos) {
    ++counter;
    text.replace(text.find("<attribute "), 11, "<attribute_" + FormatIndex2(counter) + " ");
  }
}

std::string ExtractElement(const std::string& text, const std::string& name, long long n) {
  const std::string s = "<" + name + ":" + FormatIndex2(n);
  const std::string e = "</" + name + ":" + FormatIndex2(n) + ">";
  const size_t p = text.find(s), q = text.find(e);
  if (p == npos || q == npos || q <= p) return "";
  return text.substr(p, q + e.size() - p);
}

void ElementAttributesToLines(const std::string& element, const std::string& name,
                              std::vector<std::string>& lines) {
  lines.clear();
  const size_t f = element.find("<" + name);
  const size_t p = f == npos ? 0 : f + 1;
  const size_t q = PosFrom(">", element, p);
  if (p == 0 || q == 0) return;
  std::string tag = element.substr(p - 1, q - p + 1);
  size_t from = 0;
  for (int i = 0; i < 21; ++i) {
    const size_t eq = tag.find("=\"", from);
    if (eq == npos) break;
    const size_t end = tag.find('"', eq + 2);
    if (end == npos) break;
    std::string value = tag.substr(eq + 2, end - eq - 2);
    if (!TrimBlanks(value).empty()) {
      for (char& c : value)
        if (c == ' ') c = '\x95';
      tag.replace(eq + 2, value.size(), value);
    }
    from = end + 1;
  }
  tag = ReplaceAll(ReplaceAll(ReplaceAll(tag, "\r\n", "\n"), "\r", "\n"), " ", "\n");
  for (std::string line : SplitLines(tag)) {
    for (char& c : line)
      if (c == '\x95') c = ' ';
    if (!Has(line, "=")) continue;
    std::string value;
    for (char c : TrimBlanks(TextAfter(line, "=")))
      if (c != '"') value += c;
    lines.push_back(TrimBlanks(TextBefore(line, "=")) + ": " + value);
  }
}

void ChildElementNames(const std::string& text, std::vector<std::string>& names) {
  names.clear();
  for (const std::string& raw : SplitLines(ReplaceAll(text, ">", ">\r\n"))) {
    const std::string line = TrimBlanks(raw);
    if (!Has(line, "<") || !Has(line, ">") || Has(line, "</")) continue;
    std::string t;
    for (char c : line)
      if (c != '<') t += c;
    if (!Has(t, " ")) continue;
    t = t.substr(0, t.find(' ') + 1);
    if (Has(t, ":")) t = TrimBlanks(TextBefore(t, ":"));
    if (!t.empty()) names.push_back(t);
  }
}

namespace {
bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The start tag of exactly `name` at `i`: sets `end` to its ">" (the first one after the
// name, with no "<" before it).
bool StartTagAt(const std::string& text, size_t i, const std::string& name, size_t& end) {
  const std::string open = "<" + name;
  if (text.compare(i, open.size(), open) != 0) return false;
  size_t k = i + open.size();
  if (k >= text.size() || !(Blank(text[k]) || text[k] == '/' || text[k] == '>')) return false;
  while (k < text.size() && text[k] != '>') {
    if (text[k] == '<') return false;
    ++k;
  }
  if (k >= text.size()) return false;
  end = k;
  return true;
}
}  // namespace

std::string PairSelfClosing(const std::string& text, const std::string& name) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t gt = 0;
    const size_t body = i + 1 + name.size();
    if (!name.empty() && StartTagAt(text, i, name, gt) && gt > body && text[gt - 1] == '/') {
      std::string attrs = text.substr(body, gt - 1 - body);
      if (!attrs.empty() && !Blank(attrs.back())) attrs += " ";
      out += "<" + name + attrs + "></" + name + ">";
      i = gt + 1;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string SelfCloseEmptyPairs(const std::string& text, const std::string& name) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    size_t gt = 0;
    if (!name.empty() && StartTagAt(text, i, name, gt) &&
        !(gt > i + 1 + name.size() && text[gt - 1] == '/')) {
      size_t k = gt + 1;
      while (k < text.size() && Blank(text[k])) ++k;
      if (text.compare(k, name.size() + 2, "</" + name) == 0) {
        k += name.size() + 2;
        while (k < text.size() && Blank(text[k])) ++k;
        if (k < text.size() && text[k] == '>') {
          out += text.substr(i, gt - i) + "/>";
          i = k + 1;
          continue;
        }
      }
      out += text.substr(i, gt + 1 - i);  // a start tag is not looked into again
      i = gt + 1;
      continue;
    }
    out += text[i++];
  }
  return out;
}

// ---- SMART ------------------------------------------------------------------------------

namespace {

void SmartCommon(TKVCore& core, const std::string& source, bool sas) {
  const std::string element = sas ? "sassmartstats" : "smartstats";
  int count = 0;
  std::string numbered;
  NumberElements(LowerCaseAscii(source), element, count, numbered);
  for (int i = 1; i <= count; ++i) {
    const std::string e = ExtractElement(numbered, element, i);
    if (e.empty()) continue;
    std::vector<std::string> lines;
    ElementAttributesToLines(e, element, lines);
    std::string device, serial;
    for (const auto& l : lines) {
      if (Has(l, "devicename: "))
        device = NoGt(After(l, "devicename: "));
      else if (Has(l, "serialnumber: "))
        serial = NoGt(After(l, "serialnumber: "));
    }
    int drives = 0;
    std::string en;
    NumberElements(e, "physicaldrivesmartstats", drives, en);
    for (int j = 1; j <= drives; ++j) {
      std::string d = ExtractElement(en, "physicaldrivesmartstats", j);
      int counter = 0;
      NumberAttributeTags(d, counter);
      std::string channel, id, health, temperature;
      bool desc = false;
      std::vector<std::string> names;
      ChildElementNames(d, names);
      for (const auto& n : names) {
        const std::string t = TrimBlanks(n);
        ElementAttributesToLines(d, n, lines);
        if (t == "physicaldrivesmartstats") {
          for (const auto& l : lines) {
            if (Has(l, "channel: "))
              channel = After(l, "channel: ");
            else if (Has(l, "id: "))
              id = After(l, "id: ");
            else if (!sas && Has(l, "isdescriptionavailable: ")) {
              const std::string v = After(l, "isdescriptionavailable: ");
              desc = v == "true" || v == "1";
            }
          }
        } else if (sas && t == "smarthealthstatus") {
          for (const auto& l : lines)
            if (Has(l, "status: ")) health = After(l, "status: ");
        } else if (sas && t == "temperaturelogpage") {
          for (const auto& l : lines)
            if (Has(l, "currenttemperaturecelcius: ")) {
              const std::string c = After(l, "currenttemperaturecelcius: ");
              if (std::to_string(ToInt(c, -1)) == c) temperature = c + " C";
            }
        } else if (Has(t, "attribute_") && !lines.empty()) {
          if (sas) {
            std::string aname;
            for (const auto& l : lines)
              if (Has(l, "name: ")) aname = After(l, "name: ");
            if (aname.empty()) continue;
            for (const auto& l : lines) {
              if (!Has(l, "value: ")) continue;
              const std::string v = After(l, "value: ");
              if (v.empty()) continue;
              if (Has(aname, "current") && Has(aname, "drive") && Has(aname, "temperature"))
                temperature = TempFromRaw(v);
              else if (Has(aname, "smart") && Has(aname, "health") && Has(aname, "status"))
                health = TrimBlanks(TextAfter(v, ": "));
              core.SASSmartParams.FindOrAdd(channel, id).Params->Add(
                  CaseOf(aname, source), TrimBlanks(TextAfter(v, ": ")));
            }
          } else {
            std::string attr_id;
            for (const auto& l : lines)
              if (Has(l, "id: ")) attr_id = After(l, "id: ");
            if (attr_id.empty()) continue;
            auto& entry = core.SATASmartParams.FindOrAdd(channel, id);
            std::string cur, worst, raw, name;
            for (const auto& l : lines) {
              if (Has(l, "normalizedcurrent: ")) cur = After(l, "normalizedcurrent: ");
              else if (Has(l, "normalizedworst: ")) worst = After(l, "normalizedworst: ");
              else if (Has(l, "rawvalue: ")) raw = After(l, "rawvalue: ");
              else if (Has(l, "name: ")) name = After(l, "name: ");
            }
            if (!cur.empty() && !worst.empty() && !raw.empty()) {
              std::string id_text = attr_id;
              for (const char* x : {"0x", "0X"}) id_text = ReplaceAll(id_text, x, "");
              auto& rec = entry.Params->Add(id_text, cur, worst, raw);
              if (desc)
                core.SmartDescNames.AddIfNew(ToInt(id, -1), ToInt(channel, -1), rec.Id, name);
            }
            if (attr_id == "0xc2")
              for (const auto& l : lines)
                if (temperature.empty() && Has(l, "rawvalue: ") &&
                    !After(l, "rawvalue: ").empty())
                  temperature = TempFromRaw(After(l, "rawvalue: "));
          }
        }
      }
      if (!channel.empty() && !id.empty()) {
        if (sas)
          core.SASSmart.Add(device, serial, channel, id, health, temperature);
        else
          core.SATASmart.Add(device, serial, channel, id, health, temperature);
      }
    }
  }
  if (!sas) ResolveDescriptionNameCase(core.SmartDescNames, source);
}

}  // namespace

void ParseSmart(TKVCore& core, const std::string& text) {
  try {
    SmartCommon(core, text, true);
    core.SmartDescNames.Clear();
    SmartCommon(core, text, false);
  } catch (...) {
  }
}

// ---- statistics -------------------------------------------------------------------------

namespace {

struct Header {
  std::string device, serial;
  int32_t time = 0;
};

Header ReadHeader(const std::string& c) {
  Header h;
  std::vector<std::string> lines;
  ElementAttributesToLines(c, "controllerlog", lines);
  std::string time_text;
  for (const auto& l : lines) {
    if (Has(l, "devicename: ")) h.device = NoGt(After(l, "devicename: "));
    else if (Has(l, "time: ")) time_text = NoGt(After(l, "time: "));
    else if (Has(l, "serialnumber: ")) h.serial = NoGt(After(l, "serialnumber: "));
  }
  long long v = 0;
  const size_t digits_from = (!time_text.empty() && (time_text[0] == '+' || time_text[0] == '-')) ? 1 : 0;
  bool digits = time_text.size() > digits_from;
  for (size_t i = digits_from; i < time_text.size(); ++i) digits = digits && isdigit((unsigned char)time_text[i]);
  try {
    if (digits) v = std::stoll(time_text);
  } catch (...) {
    v = 0;
  }
  if (v > 0) h.time = static_cast<int32_t>(static_cast<uint32_t>(v & 0xffffffffLL));
  return h;
}

void ReadControllerStats(const std::string& c, std::string& version, int32_t& since) {
  int n = 0;
  std::string cn;
  NumberElements(c, "controllerstats", n, cn);
  for (int i = 1; i <= n; ++i) {
    std::vector<std::string> lines;
    ElementAttributesToLines(ExtractElement(cn, "controllerstats", i), "controllerstats", lines);
    for (const auto& l : lines) {
      if (Has(l, "statsversion: ")) version = After(l, "statsversion: ");
      else if (Has(l, "secondssincelastupdate: "))
        since = ToInt(After(l, "secondssincelastupdate: "), 0);
    }
  }
}

void ReadKeys(const std::string& k, const std::string& name,
              const std::vector<std::pair<std::string, std::string*>>& keys) {
  std::vector<std::string> lines;
  ElementAttributesToLines(k, name, lines);
  for (const auto& l : lines)
    for (const auto& [key, target] : keys)
      if (Has(l, key)) {
        *target = After(l, key);
        break;
      }
}

template <typename R>
void ReadCacheCounters(const std::string& l, R& r) {
  int n = 0;
  std::string ln;
  NumberElements(l, "cachestatistics", n, ln);
  if (n < 1) return;
  std::string k = ExtractElement(ln, "cachestatistics", 1);
  for (const char* name : {"uncachedios", "dramcachestats", "ssdcachestats"}) {
    int c = 0;
    NumberSelfClosing(k, name, c, k);
  }
  if (!Has(k, "<uncachedios:00") || !Has(k, "<dramcachestats:00")) return;
  ReadKeys(k, "uncachedios",
           {{"uncachedreads: ", &r.UncachedReads}, {"uncachedwrites: ", &r.UncachedWrites}});
  ReadKeys(k, "dramcachestats",
           {{"dramfullhitreads: ", &r.DramFullHitReads},
            {"dramwaithitreads: ", &r.DramWaitHitReads},
            {"dramhybridhitreads: ", &r.DramHybridHitReads},
            {"dramcachewrites: ", &r.DramCacheWrites},
            {"dramflushwaitwrites: ", &r.DramFlushWaitWrites},
            {"dramcacheflushes: ", &r.DramCacheFlushes}});
  if (Has(k, "<ssdcachestats:00"))
    ReadKeys(k, "ssdcachestats",
             {{"ssdhitreads: ", &r.SsdHitReads},
              {"ssdhitwrites: ", &r.SsdHitWrites},
              {"ssdpageupdates: ", &r.SsdPageUpdates},
              {"ssdpagedirectallocations: ", &r.SsdPageDirectAllocations},
              {"ssdfetches: ", &r.SsdFetches},
              {"ssdflushes: ", &r.SsdFlushes},
              {"ssdcachevalidpages: ", &r.SsdCacheValidPages},
              {"ssdcachedirtypages: ", &r.SsdCacheDirtyPages}});
}

template <typename Fn>
void EachController(const std::string& text, Fn fn) {
  std::string low = LowerCaseAscii(text);
  for (const char* name : {"controllerlog", "controllerstats", "logicaldrivestats",
                           "cachestatistics"})
    low = PairSelfClosing(low, name);
  for (const char* name : {"physicaldrivestats", "overallssdcachestats", "uncachedios",
                           "dramcachestats", "ssdcachestats"})
    low = SelfCloseEmptyPairs(low, name);
  int n = 0;
  std::string numbered;
  NumberElements(low, "controllerlog", n, numbered);
  for (int i = 1; i <= n; ++i) {
    const std::string c = ExtractElement(numbered, "controllerlog", i);
    if (!c.empty()) fn(c);
  }
}

template <typename Fn>
void EachLogicalDrive(const std::string& c, Fn fn) {
  int n = 0;
  std::string cn;
  NumberElements(c, "logicaldrivestats", n, cn);
  for (int i = 1; i <= n; ++i) fn(ExtractElement(cn, "logicaldrivestats", i));
}

}  // namespace

void ParseLogStats(TKVCore& core, const std::string& text) {
  try {
    core.Stats.Clear();
    EachController(text, [&](const std::string& c) {
      const Header h = ReadHeader(c);
      if (!h.device.empty() && !h.serial.empty()) {
        core.Stats.DeviceName = h.device;
        core.Stats.SerialNumber = h.serial;
        core.Stats.Time = h.time;
      }
      ReadControllerStats(c, core.Stats.StatsVersion, core.Stats.SecondsSinceLastUpdate);
      EachLogicalDrive(c, [&](const std::string& l) {
        TKVStatsLDP r;
        ReadCacheCounters(l, r);
        std::string id;
        std::vector<std::string> names;
        ChildElementNames(l, names);
        for (const auto& name : names) {
          if (TrimBlanks(name) != "logicaldrivestats") continue;
          std::vector<std::string> lines;
          ElementAttributesToLines(l, name, lines);
          for (const auto& line : lines) {
            if (Has(line, "ttlblkreadmb: ")) r.BlocksRead = After(line, "ttlblkreadmb: "), r.BlocksReadUnit = "MB";
            else if (Has(line, "ttlblkwritemb: ")) r.BlocksWritten = After(line, "ttlblkwritemb: "), r.BlocksWrittenUnit = "MB";
            else if (Has(line, "ttlblkreadkb: ")) r.BlocksRead = After(line, "ttlblkreadkb: "), r.BlocksReadUnit = "KB";
            else if (Has(line, "ttlblkwritekb: ")) r.BlocksWritten = After(line, "ttlblkwritekb: "), r.BlocksWrittenUnit = "KB";
            else if (Has(line, "ttlblkreadgb: ")) r.BlocksRead = After(line, "ttlblkreadgb: "), r.BlocksReadUnit = "GB";
            else if (Has(line, "ttlblkwritegb: ")) r.BlocksWritten = After(line, "ttlblkwritegb: "), r.BlocksWrittenUnit = "GB";
            else if (Has(line, "ttlblkreadtb: ")) r.BlocksRead = After(line, "ttlblkreadtb: "), r.BlocksReadUnit = "TB";
            else if (Has(line, "ttlblkwritetb: ")) r.BlocksWritten = After(line, "ttlblkwritetb: "), r.BlocksWrittenUnit = "TB";
            else if (Has(line, "ttlblkreadpb: ")) r.BlocksRead = After(line, "ttlblkreadpb: "), r.BlocksReadUnit = "PB";
            else if (Has(line, "ttlblkwritepb: ")) r.BlocksWritten = After(line, "ttlblkwritepb: "), r.BlocksWrittenUnit = "PB";
            else if (Has(line, "ttlblkread: ") || Has(line, "ttlblkwrite: ")) continue;
            else if (Has(line, "numreads: ")) r.NumReads = After(line, "numreads: ");
            else if (Has(line, "numwrites: ")) r.NumWrites = After(line, "numwrites: ");
            else if (Has(line, "id: ")) id = After(line, "id: ");
          }
        }
        if (!id.empty()) {
          r.Id = ToInt(id, -1);
          core.Stats.LDStats.Add(r);
        }
      });
      int n = 0;
      std::string cs;
      NumberSelfClosing(c, "physicaldrivestats", n, cs);
      for (int k = 0; k < n; ++k) {
        TKVStatsPhysP p;
        ReadKeys(ExtractElement(cs, "physicaldrivestats", k), "physicaldrivestats",
                 {{"sensekey4cnt: ", &p.SenseKey4Count},
                  {"mediumerrcnt: ", &p.MediumErrorCount},
                  {"parityerrcnt: ", &p.ParityErrorCount},
                  {"linkfailcnt: ", &p.LinkFailCount},
                  {"abortedcmdcnt: ", &p.AbortedCommandCount},
                  {"smartwarncnt: ", &p.SmartWarningCount},
                  {"channel: ", &p.Channel},
                  {"id: ", &p.Id}});
        if (!p.Id.empty() && !p.Channel.empty()) core.Stats.PhysStats.Add(p);
      }
    });
  } catch (...) {
  }
}

void ParseCacheStats(TKVCore& core, const std::string& text) {
  try {
    core.StatsCache.Clear();
    EachController(text, [&](const std::string& c) {
      const Header h = ReadHeader(c);
      if (h.device.empty() || h.serial.empty()) return;
      TKVStatsCacheItem& item = core.StatsCache.Add();
      item.DeviceName = h.device;
      item.SerialNumber = h.serial;
      item.Time = h.time;
      ReadControllerStats(c, item.StatsVersion, item.SecondsSinceLastUpdate);
      int n = 0;
      std::string cs;
      NumberSelfClosing(c, "overallssdcachestats", n, cs);
      if (Has(cs, "<overallssdcachestats:00")) {
        std::string v[6];
        ReadKeys(cs, "overallssdcachestats",
                 {{"ssdcachepages: ", &v[0]}, {"pagesonfetchlist: ", &v[1]},
                  {"pagesondirtylist: ", &v[2]}, {"pagesonfailedlist: ", &v[3]},
                  {"fetchcandidates: ", &v[4]}, {"candidatereplacements: ", &v[5]}});
        item.SsdCachePages = ToInt(v[0], 0);
        item.PagesOnFetchList = ToInt(v[1], 0);
        item.PagesOnDirtyList = ToInt(v[2], 0);
        item.PagesOnFailedList = ToInt(v[3], 0);
        item.FetchCandidates = ToInt(v[4], 0);
        item.CandidateReplacements = ToInt(v[5], 0);
      }
      EachLogicalDrive(c, [&](const std::string& l) {
        TKVStatsCacheItem r = item;
        r.UncachedReads = r.UncachedWrites = r.DramFullHitReads = r.DramWaitHitReads = "";
        r.DramHybridHitReads = r.DramCacheWrites = r.DramFlushWaitWrites = r.DramCacheFlushes = "";
        r.SsdHitReads = r.SsdHitWrites = r.SsdPageUpdates = r.SsdPageDirectAllocations = "";
        r.SsdFetches = r.SsdFlushes = r.SsdCacheValidPages = r.SsdCacheDirtyPages = "";
        ReadCacheCounters(l, r);
        item = r;
        item.HasSsdActivity = SsdActivity(r.SsdHitReads, r.SsdHitWrites);
      });
    });
  } catch (...) {
  }
}

std::string DumpParsed(const TKVCore& core) {
  std::string out;
  auto row = [&out](std::initializer_list<std::string> fields) {
    for (const auto& f : fields) out += f + "|";
    out += "\n";
  };
  auto drives = [&](const char* kind, const auto& list) {
    for (int i = 0; i < list.Count(); ++i) {
      const auto& d = list.Item(i);
      row({kind, d.DeviceName, d.SerialNumber, d.Channel, d.Id, d.Health, d.Temperature});
    }
  };
  drives("sas", core.SASSmart);
  drives("sata", core.SATASmart);
  for (int i = 0; i < core.SATASmartParams.Count(); ++i) {
    const auto& item = core.SATASmartParams.Item(i);
    row({"sata-params", item.Channel, item.Id, item.Params->Channel, item.Params->Id});
    for (const auto& a : item.Params->Attributes)
      row({"  attr", a.IdText, std::to_string(a.Id), a.Current, a.Worst, a.Raw});
  }
  for (int i = 0; i < core.SASSmartParams.Count(); ++i) {
    const auto& item = core.SASSmartParams.Item(i);
    row({"sas-params", item.Channel, item.Id, item.Params->Channel, item.Params->Id});
    for (const auto& a : item.Params->Attributes) row({"  param", a.Name, a.Value});
  }
  for (int i = 0; i < core.SmartDescNames.Count(); ++i) {
    const auto& d = core.SmartDescNames.Item(i);
    row({"desc", std::to_string(d.DeviceId), std::to_string(d.Channel),
         std::to_string(d.AttributeId), d.Name});
  }
  const TKVStats& st = core.Stats;
  row({"stats", st.DeviceName, st.SerialNumber, std::to_string(st.Time), st.StatsVersion,
       std::to_string(st.SecondsSinceLastUpdate)});
  for (int i = 0; i < st.LDStats.Count(); ++i) {
    const auto& r = st.LDStats.Item(i);
    row({"ld", std::to_string(r.Id), r.NumReads, r.NumWrites, r.BlocksRead, r.BlocksReadUnit,
         r.BlocksWritten, r.BlocksWrittenUnit, r.UncachedReads, r.UncachedWrites,
         r.DramFullHitReads, r.DramWaitHitReads, r.DramHybridHitReads, r.DramCacheWrites,
         r.DramFlushWaitWrites, r.DramCacheFlushes, r.SsdHitReads, r.SsdHitWrites,
         r.SsdPageUpdates, r.SsdPageDirectAllocations, r.SsdFetches, r.SsdFlushes,
         r.SsdCacheValidPages, r.SsdCacheDirtyPages, r.HasSsdActivity ? "ssd" : "no-ssd"});
  }
  for (int i = 0; i < st.PhysStats.Count(); ++i) {
    const auto& r = st.PhysStats.Item(i);
    row({"phys", r.Id, r.Channel, r.SenseKey4Count, r.MediumErrorCount, r.ParityErrorCount,
         r.LinkFailCount, r.AbortedCommandCount, r.SmartWarningCount});
  }
  for (int i = 0; i < core.StatsCache.Count(); ++i) {
    const auto& r = core.StatsCache.Item(i);
    row({"cache", r.StatsVersion, std::to_string(r.SecondsSinceLastUpdate), r.DeviceName,
         r.SerialNumber, std::to_string(r.Time), std::to_string(r.SsdCachePages),
         std::to_string(r.PagesOnFetchList), std::to_string(r.PagesOnDirtyList),
         std::to_string(r.PagesOnFailedList), std::to_string(r.FetchCandidates),
         std::to_string(r.CandidateReplacements), r.UncachedReads, r.UncachedWrites,
         r.DramFullHitReads, r.DramWaitHitReads, r.DramHybridHitReads, r.DramCacheWrites,
         r.DramFlushWaitWrites, r.DramCacheFlushes, r.SsdHitReads, r.SsdHitWrites,
         r.SsdPageUpdates, r.SsdPageDirectAllocations, r.SsdFetches, r.SsdFlushes,
         r.SsdCacheValidPages, r.SsdCacheDirtyPages, r.HasSsdActivity ? "ssd" : "no-ssd"});
  }
  return out;
}

}  // namespace kv::ref
