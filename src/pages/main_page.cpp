#include "pages/main_page.h"

#include <vector>

#include "base/ini_file.h"
#include "base/text_case.h"
#include "base/text_helpers.h"
#include "health/changes.h"
#include "model/kv_core.h"
#include "pages/format_helpers.h"
#include "pages/health_view.h"
#include "pages/page_rows.h"
#include "pages/template_engine.h"
#include "report/state_report.h"

namespace kv {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

bool IsTrue(const TMemIniFile& report, const std::string& section, const char* key) {
  return report.ReadInteger(section, key, 0) != 0;
}

// A percent text gets "%" when it reads as an integer other than -1 ("45" -> "45%",
// "n/a" -> "n/a").
std::string PercentText(const std::string& percent) {
  int64_t value = 0;
  if (!percent.empty() && ParseIniInteger(percent, value) && value != -1) return percent + "%";
  return percent;
}

class MainPageRenderer {
 public:
  MainPageRenderer(TKVCore& core, const std::string& version, const TMemIniFile& report, const TMFileList& files,
                   const THealthView* health, int64_t now)
      : core_(core), version_(version), templates_(files), report_(report), health_(health), now_(now) {}

  std::string Render() {
    page_ += Apply("tpl_header.txt", {});
    if (health_ != nullptr) page_ += HealthStrip();
    page_ += Controller();
    if (report_.ReadInteger("ld", "count", 0) > 0) {
      std::string area = DeviceArea("ld", "tpl_block.txt");
      area += DeviceArea("zepld", "tpl_block_zep.txt");
      page_ += Apply("tpl_ld.txt", {{"@ld@", area}});
    }
    page_ += Drives();
    if (health_ != nullptr) page_ += RecentChanges();
    page_ += Apply("tpl_end.txt", {{"@u@", FooterLine(PageTimeStamp(now_), version_)}});
    if (health_ != nullptr && health_->Verdict.Level != THealth::OK) {
      // The browser tab tells the verdict too.
      const std::string title = "<title>";
      const size_t at = page_.find(title);
      if (at != std::string::npos) page_.insert(at + title.size(), std::string(HealthWord(health_->Verdict.Level)) + ": ");
    }
    return page_;
  }

 private:
  std::string Apply(const char* file, const Pairs& pairs) {
    templates_.ClearPairs();
    for (const auto& [key, value] : pairs) templates_.AddPair(key, value);
    templates_.ApplyTemplate(file);
    return templates_.GetResult();
  }

  std::string Read(const std::string& section, const char* key) const {
    return report_.ReadString(section, key, "");
  }

  // ---- health --------------------------------------------------------------------

  // The verdict and its reasons, each a link to what it names; above it, when the data is
  // stale, why. The strip wraps, so it fits a phone's width (the stylesheet colours it).
  std::string HealthStrip() const {
    std::string out;
    if (!health_->StaleWarning.empty())
      out += "<div class=\"stale\" id=\"stale\"><b>Stale data.</b> " + HtmlEscape(health_->StaleWarning) + "</div>\r\n";
    const THealthVerdict& v = health_->Verdict;
    out += std::string("<div class=\"verdict ") + VerdictClass(v.Level) + "\" id=\"health\"><b>" +
           HealthWord(v.Level) + "</b>";
    if (health_->CollectedAt != 0) out += " &middot; data collected " + PageTimeText(health_->CollectedAt);
    if (!v.Reasons.empty()) {
      out += "<ul>";
      for (const THealthReason& r : v.Reasons)
        out += "<li>" + std::string(HealthWord(r.Level)) + ": <a href=\"" + HtmlEscape(r.Link) + "\">" +
               HtmlEscape(r.Object) + "</a>: " + HtmlEscape(r.Text) + "</li>";
      out += "</ul>";
    }
    return out + "</div>\r\n<a id=\"controller\"></a>";
  }

  // The last changes, newest first.
  std::string RecentChanges() const {
    std::string rows;
    for (auto it = health_->Recent.rbegin(); it != health_->Recent.rend(); ++it)
      rows += "<tr><td class=\"FCI FTC nw\">" + PageTimeText(it->Time) + "</td><td class=\"FCI FTC nw\">" +
              SeverityName(it->Severity) + "</td><td class=\"FCI FTC\">" + HtmlEscape(it->Text) + "</td></tr>";
    if (rows.empty()) rows = "<tr><td class=\"FCI FTC\" colspan=\"3\">No changes since the start.</td></tr>";
    return "<div class=\"section-title\">Recent changes</div>\r\n<div class=\"card\" id=\"changes\"><div class=\"card-body\">"
           "<table class=\"grid\" cellspacing=\"0\" cellpadding=\"0\"><thead><tr><th>Time</th><th>Severity</th>"
           "<th>Change</th></tr></thead><tbody>" + rows + "</tbody></table></div></div>\r\n";
  }

  // Drive n's SMART verdict beside its state when it is not Good, then an up arrow when a
  // predictive value grew this week; the reasons in their tooltips (the strip lists them,
  // the drive page opens with the SMART ones).
  void AddSmartVerdict(int n, Pairs& pairs) const {
    if (health_ == nullptr || n < 0) return;
    const size_t i = static_cast<size_t>(n);
    std::string marks;
    if (i < health_->Drives.size() && health_->Drives[i].Grade != TSmartGrade::Good) {
      const TSmartVerdict& verdict = health_->Drives[i];
      std::string why;
      for (const std::string& reason : verdict.Reasons) why += (why.empty() ? "" : ", ") + reason;
      marks += std::string(" <span class=\"") + (verdict.Grade == TSmartGrade::Bad ? "smart-bad" : "smart-caution") +
               "\" title=\"" + HtmlEscape(why) + "\">(SMART " + SmartGradeWord(verdict.Grade) + ")</span>";
    }
    if (i < health_->Grown.size() && !health_->Grown[i].empty())
      marks += " <span class=\"smart-caution\" title=\"" + HtmlEscape(health_->Grown[i]) + "\">&#9650;</span>";
    if (marks.empty()) return;
    for (auto& [key, value] : pairs)
      if (key == "@state@") value += marks;
  }

  // ---- controller ------------------------------------------------------------------

  std::string ControllerInfo() const {
    const std::string s = "controller";
    std::string rows = BoldValueRow("Controller Status", Read(s, "state")) +
                       ValueRow("Controller Mode", Read(s, "mode")) +
                       ValueRow("Channel description", Read(s, "ch_desc")) +
                       ValueRow("Model", Read(s, "model")) +
                       ValueRow("Serial Number", Read(s, "sn")) +
                       ValueRow("Temperature", Read(s, "temperature")) +
                       ValueRow("Memory", Read(s, "memory"));
    const TKVStats& stats = core_.Stats;
    if (SameTextAscii(stats.SerialNumber, Read(s, "sn")) && !stats.StatsVersion.empty()) {
      std::string value = HtmlEscape(stats.StatsVersion);
      if (stats.SecondsSinceLastUpdate > 0) {
        const uint32_t start =
            static_cast<uint32_t>(stats.Time) - static_cast<uint32_t>(stats.SecondsSinceLastUpdate);
        value += " <SPAN class=\"sml\">(Starting " + FormatReportDate(start) + ")</SPAN>";
      }
      rows += HtmlValueRow("Stats Version", value);
    }
    return rows;
  }

  std::string StatData1() const {
    const std::string s = "stats_all";
    std::string rows = ValueRow("Uncached reads", Read(s, "uncachedReads")) +
                       ValueRow("Uncached writes", Read(s, "uncachedWrites"));
    if (!rows.empty()) rows = HeaderRow("Uncached IOs") + rows;
    if (!Read(s, "dramFullHitReads").empty()) {
      if (!rows.empty()) rows += SpacerRow();
      rows += HeaderRow("DRAM cache statistics") +
              ValueRow("Full hit reads", Read(s, "dramFullHitReads")) +
              ValueRow("Fetch/flush wait reads", Read(s, "dramWaitHitReads")) +
              ValueRow("Hybrid reads", Read(s, "dramHybridHitReads")) +
              ValueRow("Full hit writes", Read(s, "dramCacheWrites")) +
              ValueRow("Fetch/flush wait writes", Read(s, "dramFlushWaitWrites")) +
              ValueRow("Flushes", Read(s, "dramCacheFlushes"));
    }
    return StatisticsColumn(rows);
  }

  std::string StatData2() const {
    const std::string s = "stats_all";
    std::string rows;
    if (!Read(s, "ssdCachePages").empty()) {
      rows = HeaderRow("Overall SSD Cache statistics") +
             ValueRow("Cache Pages", Read(s, "ssdCachePages")) +
             ValueRow("Fetch Candidates", Read(s, "fetchCandidates")) +
             ValueRow("Candidate Replacements", Read(s, "candidateReplacements")) + SpacerRow() +
             HeaderRow("Pages") + ValueRow("OnFetchList", Read(s, "pagesOnFetchList")) +
             ValueRow("OnDirtyList", Read(s, "pagesOnDirtyList")) +
             ValueRow("OnFailedList", Read(s, "pagesOnFailedList"));
    }
    return StatisticsColumn(rows);
  }

  std::string StatData3() const {
    const std::string s = "stats_all";
    std::string rows;
    if (IsTrue(report_, s, "ssd_use")) {
      rows = HeaderRow("SSD Cache statistics") + ValueRow("Hit Reads", Read(s, "ssdHitReads")) +
             ValueRow("Hit Writes", Read(s, "ssdHitWrites")) +
             ValueRow("Page Updates", Read(s, "ssdPageUpdates")) +
             ValueRow("Page Direct Allocations", Read(s, "ssdPageDirectAllocations")) +
             ValueRow("Fetches", Read(s, "ssdFetches")) + ValueRow("Flushes", Read(s, "ssdFlushes")) +
             ValueRow("Valid Pages", Read(s, "ssdCacheValidPages")) +
             ValueRow("Dirty Pages", Read(s, "ssdCacheDirtyPages"));
    }
    return StatisticsColumn(rows);
  }

  std::string Controller() {
    Pairs pairs = {{"@controller_info@", ControllerInfo()},
                   {"@controller_data@", DataRows(Read("controller", "data"))},
                   {"@version@", DataRows(Read("controller", "versions"))}};
    const bool with_stats =
        !Read("stats_all", "uncachedReads").empty() && !Read("stats_all", "uncachedWrites").empty();
    if (with_stats) {
      pairs.push_back({"@stat_data1@", StatData1()});
      pairs.push_back({"@stat_data2@", StatData2()});
      pairs.push_back({"@stat_data3@", StatData3()});
    }
    pairs.push_back({"@bbu@", DataRows(Read("bbu", "data"))});
    // The utility prints "98 percent"; only a bare number gets the "%" sign, so the caption
    // never reads "98 percent%".
    std::string remain = Read("bbu", "remain_persent");
    if (!remain.empty() && remain.find_first_not_of("0123456789") == std::string::npos) remain += "%";
    pairs.push_back(
        {"@bbu_caption@", "BBU: " + HtmlEscape(Join({Read("bbu", "state"), Read("bbu", "temp"), remain}, ", "))});
    return Apply(with_stats ? "tpl_controller_zep.txt" : "tpl_controller.txt", pairs);
  }

  // ---- logical and zepCache devices ------------------------------------------------

  // The pairs of one drive row, shared by member tables and drive tables.
  static Pairs DriveRowPairs(const TResultHDD& hdd) {
    const auto field = [](const std::string& v) { return HtmlEscape(DashIfEmpty(v)); };
    return {{"@num@", HtmlEscape(DashIfEmpty(hdd.Channel) + "," + DashIfEmpty(hdd.DeviceId))},
            {"@state@", field(hdd.State)},
            {"@int@", field(hdd.TransferSpeed)},
            {"@vendor@", field(hdd.Vendor)},
            {"@sn@", field(hdd.SerialNumber)},
            {"@size@", field(hdd.Size)},
            {"@fw@", field(hdd.Firmware)},
            {"@model@", field(hdd.Model)},
            {"@wc@", field(hdd.WriteCache)},
            {"@wwn@", field(hdd.WorldWideName)},
            {"@temp@", field(hdd.SmartTemperature)},
            {"@link@", HtmlEscape("hdd_" + DashIfEmpty(hdd.Channel) + "_" + DashIfEmpty(hdd.DeviceId))}};
  }

  struct TaskTexts {
    std::string suffix;
    std::string list;
  };

  TaskTexts Tasks(const std::string& number) const {
    TaskTexts out;
    if (number.empty()) return out;
    for (int i = 0; i < core_.Tasks.Count(); ++i) {
      const TKVTaskItem& task = core_.Tasks.Item(i);
      if (!SameTextAscii(task.LogicalDevice, number)) continue;
      const std::string operation = HtmlEscape(task.CurrentOperation);
      const std::string percent = HtmlEscape(PercentText(task.PercentageComplete));
      if (LowerCaseAscii(task.Status) == "in progress") out.suffix += "[" + operation + ", " + percent + "]";
      if (!out.list.empty()) out.list += "<br>";
      out.list += HtmlEscape(task.Status) + ": " + operation + ", " + percent;
    }
    return out;
  }

  // The member drives of a device, then one row per member row that names no drive: the
  // state says "Missing" and the model column carries the row as the utility printed it.
  std::string MemberTable(const std::string& section, const TStringList& missing) {
    std::string rows;
    const int64_t members = report_.ReadInteger(section, "hdds", 0);
    for (int64_t m = 0; m < members; ++m) {
      const int64_t drive = report_.ReadInteger(section + "_" + std::to_string(m), "id", -1);
      if (drive < 0 || drive >= core_.Result.HDDs.Count()) continue;
      Pairs pairs = DriveRowPairs(core_.Result.HDDs.Item(static_cast<int>(drive)));
      AddSmartVerdict(static_cast<int>(drive), pairs);
      member_row_.AppendTo(templates_, pairs, rows);
    }
    for (const std::string& text : missing) {
      TResultHDD absent;
      absent.State = "Missing";
      absent.Model = text;
      rows += WithoutLink(Apply("tpl_block_table_row.txt", DriveRowPairs(absent)));
    }
    return rows.empty() ? std::string() : Apply("tpl_block_table.txt", {{"@rows@", rows}});
  }

  // Section ld_N / zepld_N is the N-th device of the result.
  const TStringList& MissingMembersOf(bool zep, int n) const {
    static const TStringList kNone;
    if (zep) return n < core_.Result.ZepLDs.Count() ? core_.Result.ZepLDs.Item(n).MissingMembers : kNone;
    return n < core_.Result.LDs.Count() ? core_.Result.LDs.Item(n).MissingMembers : kNone;
  }

  // A missing member has no drive page: its row keeps the cell but not the link.
  static std::string WithoutLink(std::string row) {
    const size_t open = row.find("<a ");
    const size_t close = row.find("</a>", open);
    if (open != std::string::npos && close != std::string::npos) row.replace(open, close + 4 - open, "&nbsp;");
    return row;
  }

  // Traffic box and cache box of a logical device, from the controller-log statistics.
  void TrafficAndCache(const std::string& number, int n, std::string& stats_box, std::string& cache_box) {
    const int index = core_.Stats.LDStats.IndexOf(ToInt(number, -1));
    if (index < 0) return;
    const TKVStatsLDP& s = core_.Stats.LDStats.Item(index);
    if (s.BlocksRead.empty() || s.BlocksWritten.empty()) return;
    stats_box = Apply("tpl_block_stats_ld.txt", {{"@r@", HtmlEscapeAll(s.BlocksRead + " " + s.BlocksReadUnit)},
                                                 {"@w@", HtmlEscapeAll(s.BlocksWritten + " " + s.BlocksWrittenUnit)}});
    std::string rows = ValueRow("Uncached reads", s.UncachedReads) + ValueRow("Uncached writes", s.UncachedWrites);
    if (!rows.empty()) rows = HeaderRow("Uncached IOs") + rows;
    if (!s.DramFullHitReads.empty()) {
      if (!rows.empty()) rows += SpacerRow();
      rows += HeaderRow("DRAM cache statistics") +
              ValueRow("DRAM cache full hit reads", s.DramFullHitReads) +
              ValueRow("DRAM cache fetch/flush wait reads", s.DramWaitHitReads) +
              ValueRow("DRAM cache hybrid reads", s.DramHybridHitReads) +
              ValueRow("DRAM cache full hit writes", s.DramCacheWrites) +
              ValueRow("DRAM cache fetch/flush wait writes", s.DramFlushWaitWrites) +
              ValueRow("DRAM cache flushes", s.DramCacheFlushes);
    }
    std::string ssd;
    if (s.HasSsdActivity) {
      ssd = ValueRow("Read hits", s.SsdHitReads) + ValueRow("Write hits", s.SsdHitWrites) +
            ValueRow("Valid Pages", s.SsdCacheValidPages) + ValueRow("Updates on Writes", s.SsdPageUpdates) +
            ValueRow("Page Fetches", s.SsdFetches) + ValueRow("Page Flushes", s.SsdFlushes);
    }
    if (!ssd.empty())
      cache_box = Apply("tpl_cache_zep_block.txt", {{"@data@", rows}, {"@id@", std::to_string(n)}, {"@data2@", ssd}});
    else
      cache_box = Apply("tpl_cache_block.txt", {{"@data@", rows}, {"@id@", std::to_string(n)}});
  }

  // One block per device of the kind ("ld" or "zepld").
  std::string DeviceArea(const std::string& kind, const char* block_template) {
    const bool zep = kind == "zepld";
    std::string area;
    const int64_t count = report_.ReadInteger(kind, "count", 0);
    for (int64_t n = 0; n < count; ++n) {
      const std::string section = kind + "_" + std::to_string(n);
      if (!report_.SectionExists(section)) continue;
      const TaskTexts tasks = Tasks(Read(section, "number"));
      const std::string members = MemberTable(section, MissingMembersOf(zep, static_cast<int>(n)));
      std::string stats_box;
      std::string cache_box;
      if (!zep) TrafficAndCache(Read(section, "number"), static_cast<int>(n), stats_box, cache_box);
      if (stats_box.empty()) stats_box = "&nbsp;";

      std::string title =
          HtmlEscape(Join({Read(section, "name"), Read(section, "state"), Read(section, "size")}, ", "));
      if (!tasks.suffix.empty()) title += (title.empty() ? "" : " ") + tasks.suffix;

      const std::string unique = IsTrue(report_, section, "uniq_parce") ? Read(section, "uniq") : std::string();
      std::string text;
      if (zep) {
        text = ValueRow("ZepCache device name", Read(section, "name")) +
               BoldValueRow("Status of ZepCache device", Read(section, "state")) +
               HtmlValueRow("Tasks", tasks.list) + ValueRow("Size", Read(section, "size")) +
               ValueRow("Unique Identifier", unique);
      } else {
        text = ValueRow("Logical device name", Read(section, "name")) +
               BoldValueRow("Status of logical device", Read(section, "state")) +
               HtmlValueRow("Tasks", tasks.list) + ValueRow("RAID level", Read(section, "level")) +
               ValueRow("Size", Read(section, "size")) + ValueRow("Unique Identifier", unique) +
               ValueRow("Read-cache status", Read(section, "rc_status")) +
               ValueRow("Read-cache setting", Read(section, "rc_settings")) +
               ValueRow("Write-cache status", Read(section, "wc_status")) +
               ValueRow("Write-cache setting", Read(section, "wc_settings"));
      }
      area += Apply(block_template, {{"@hdds@", members},
                                     {"@text_stats@", stats_box},
                                     {"@cache@", cache_box},
                                     {"@id@", section},
                                     {"@title@", title},
                                     {"@data@", DataRows(Read(section, "data"))},
                                     {"@text@", text}});
    }
    return area;
  }

  // ---- enclosures and drive tables ------------------------------------------------

  static std::string EnclosureTitle(const std::string& id, const std::string& vendor,
                                    const std::string& temperature) {
    const std::string attributes = Join({vendor, temperature.empty() ? "" : "Temp: " + temperature}, ", ");
    return HtmlEscape("Enclosure #" + id + ", " + attributes);
  }

  std::string Enclosures() {
    std::string blocks;
    const int64_t count = report_.ReadInteger("enclosures", "count", 0);
    for (int64_t n = 0; n < count; ++n) {
      const std::string section = "enc_" + std::to_string(n);
      if (!report_.SectionExists(section)) continue;
      std::string text = DataRows(Read(section, "values"));
      const std::string status =
          DataRows(Read(section, "status"), "<TR><TD class=\"FCI FTC nw\">&nbsp;&nbsp;");
      if (!status.empty()) text += HeaderRow("Status of Enclosure services device") + status;
      blocks += Apply("tpl_encl.txt",
                      {{"@title@", EnclosureTitle(Read(section, "id"), Read(section, "vendor"),
                                                  Read(section, "temperature"))},
                       {"@text@", text},
                       {"@id@", section}});
    }
    return blocks;
  }

  // The name of the first logical device holding drive n, else of the first zepCache device.
  std::string DeviceOfDrive(int n) const {
    for (const TResultLD& ld : core_.Result.LDs)
      for (const TIntPair& member : ld.Members)
        if (member.Key == n) return ld.Name;
    for (const TResultZepLD& zep : core_.Result.ZepLDs)
      for (const TIntPair& member : zep.Members)
        if (member.Key == n) return zep.DeviceName;
    return std::string();
  }

  void AppendDriveRow(int n, std::string& rows) {
    Pairs pairs = DriveRowPairs(core_.Result.HDDs.Item(n));
    AddSmartVerdict(n, pairs);
    pairs.push_back({"@ld@", HtmlEscapeAll(DashIfEmpty(DeviceOfDrive(n)))});
    drive_row_.AppendTo(templates_, pairs, rows);
  }

  std::string Drives() {
    const std::string enclosures = Enclosures();

    std::string single;
    std::string rows;
    const int64_t count = report_.ReadInteger("hdds", "count", 0);
    for (int64_t n = 0; n < count; ++n) {
      const std::string section = "hdd_" + std::to_string(n);
      if (!report_.SectionExists(section) || IsTrue(report_, section, "enclosure")) continue;
      if (n >= core_.Result.HDDs.Count()) continue;
      AppendDriveRow(static_cast<int>(n), rows);
    }
    if (!rows.empty()) {
      const std::string table = Apply("tpl_hdd_table.txt", {{"@rows@", rows}});
      single = Apply("tpl_hdd_table_single.txt", {{"@hdd@", table}});
    }

    std::string in_enclosures;
    for (int e = 0; e < core_.Result.Enclosures.Count(); ++e) {
      const TResultEnclosure& enclosure = core_.Result.Enclosures.Item(e);
      std::string enc_rows;
      for (int n = 0; n < core_.Result.HDDs.Count(); ++n) {
        const TResultHDD& hdd = core_.Result.HDDs.Item(n);
        if (hdd.Enclosure == &enclosure) AppendDriveRow(n, enc_rows);  // Ids may repeat
      }
      if (enc_rows.empty()) continue;
      const std::string table = Apply("tpl_hdd_table.txt", {{"@rows@", enc_rows}});
      in_enclosures += Apply("tpl_hdd_table_enc.txt",
                             {{"@hdd@", table},
                              {"@title@", EnclosureTitle(enclosure.Id, enclosure.Vendor, enclosure.Temperature)},
                              {"@id@", "hdd_enc_" + std::to_string(e)}});
    }
    return Apply("tpl_hdd.txt", {{"@hdd@", single}, {"@hdde@", in_enclosures}, {"@encl@", enclosures}});
  }

  TKVCore& core_;
  const std::string& version_;
  Tmail_list templates_;  // fetched once per page
  // The row templates, filled once per drive; the placeholders in DriveRowPairs' order.
  TPreparedTemplate member_row_{"tpl_block_table_row.txt",
                                {"@num@", "@state@", "@int@", "@vendor@", "@sn@", "@size@", "@fw@", "@model@",
                                 "@wc@", "@wwn@", "@temp@", "@link@"}};
  TPreparedTemplate drive_row_{"tpl_hdd_table_row.txt",
                               {"@num@", "@state@", "@int@", "@vendor@", "@sn@", "@size@", "@fw@", "@model@",
                                "@wc@", "@wwn@", "@temp@", "@link@", "@ld@"}};
  const TMemIniFile& report_;
  const THealthView* health_;
  int64_t now_;
  std::string page_;
};

}  // namespace

std::string RenderMainPage(TKVCore& core, const std::string& version, const TMemIniFile& report,
                           const TMFileList& files, const THealthView* health, int64_t now) {
  return MainPageRenderer(core, version, report, files, health, now).Render();
}

std::string RenderMainPage(TKVCore& core, const std::string& version, const TMFileList& files,
                           const THealthView* health, int64_t now) {
  std::string text;
  AppendStateReport(core, version, text);
  return RenderMainPage(core, version, TMemIniFile(text), files, health, now);
}

std::size_t ControllerBarOffset(const std::string& page) {
  // The header template ends by opening the content cell; the strip or the controller
  // block follows it on the next line.
  size_t at = page.find("<table class=\"content\"");
  if (at != std::string::npos) at = page.find("<td>", at);
  if (at == std::string::npos) return 0;
  at += 4;
  if (page.compare(at, 2, "\r\n") == 0) return at + 2;
  return at < page.size() && page[at] == '\n' ? at + 1 : at;
}

}  // namespace kv
