#include "pages/drive_page.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "base/text_case.h"
#include "base/text_helpers.h"
#include "history/history_values.h"
#include "model/kv_core.h"
#include "pages/format_helpers.h"
#include "pages/page_rows.h"
#include "pages/template_engine.h"
#include "pages/ts_report.h"
#include "model/smart_names.h"

namespace kv {
namespace {

constexpr const char* kSmartSpacer =
    "<TR><TD class=\"FCI FTC nw\">&nbsp;</TD><TD class=\"FCI FTC nw\" width=\"100%\">&nbsp;</TD></TR>";

}  // namespace

class DrivePageRenderer {
 public:
  DrivePageRenderer(TKVCore& core, const TMFileList& files, SmartSource smart,
                    const std::vector<TSmartVerdict>* verdicts, int controller)
      : core_(core), smart_(smart), verdicts_(verdicts), controller_(controller), templates_(files),
        home_link_(controller > 1 ? "href=\"/c" + std::to_string(controller) + "/\"" : std::string()) {}

  void SetHistorySections(const THistorySections* sections) {
    history_ = sections;
    history_keys_.clear();
  }

  TDrivePage Render(const std::string& requested) {
    const std::string key = LowerCaseAscii(requested);
    verdict_ = nullptr;
    TDrivePage page;
    rows_.clear();
    std::string caption;
    const int n = FindDrive(key);
    if (n >= 0) {
      const TResultHDD& hdd = core_.Result.HDDs.Item(n);
      caption = HtmlEscapeAll(hdd.Model);
      page.AlternativeKey = LowerCaseAscii(hdd.SerialNumber);
      verdict_ = verdicts_ != nullptr && static_cast<size_t>(n) < verdicts_->size() ? &(*verdicts_)[static_cast<size_t>(n)]
                                                                                  : nullptr;
      rows_ += Verdict();
      rows_ += Identity(hdd);
      rows_ += Membership(n);
      ErrorCounters(hdd, rows_);
      if (!AppendSmart(hdd, rows_)) rows_ += NoSmartLine();
      AppendHistory(n, rows_);
    }
    body_.clear();
    page_.AppendTo(templates_, {rows_, caption}, body_);
    if (!home_link_.empty()) {
      // The template links back to "/", controller 1's page; its first link is that one.
      static constexpr std::string_view kHome = "href=\"/\"";
      const size_t at = body_.find(kHome);
      if (at != std::string::npos) body_.replace(at, kHome.size(), home_link_);
    }
    page.Body = body_;  // an exact fit: a cycle keeps every page, the old ones too until the swap
    return page;
  }

 private:
  // `key` is lower-cased already. Compared in place: a cycle looks up every drive.
  int FindDrive(const std::string& key) const {
    for (int n = 0; n < core_.Result.HDDs.Count(); ++n) {
      const TResultHDD& hdd = core_.Result.HDDs.Item(n);
      const std::string& channel = hdd.Channel;
      const bool place = key.size() == channel.size() + 1 + hdd.DeviceId.size() &&
                         key.compare(0, channel.size(), channel) == 0 && key[channel.size()] == '_' &&
                         key.compare(channel.size() + 1, std::string::npos, hdd.DeviceId) == 0;
      if (place || SameTextAscii(hdd.SerialNumber, key)) return n;
    }
    return -1;
  }

  // Every text from the utility on this page goes through HtmlEscapeAll.
  static std::string Identity(const TResultHDD& hdd) {
    constexpr TEscape e = HtmlEscapeAll;
    return ValueRow("Model", hdd.Model, e) + ValueRow("Vendor", hdd.Vendor, e) +
           BoldValueRow("State", hdd.State, e) + ValueRow("Size", hdd.Size, e) +
           ValueRow("Transfer Speed", hdd.TransferSpeed, e) + ValueRow("Firmware", hdd.Firmware, e) +
           ValueRow("Serial number", hdd.SerialNumber, e) + ValueRow("WWN", hdd.WorldWideName, e) +
           ValueRow("Temperature", hdd.SmartTemperature, e);
  }

  static std::string MemberRow(bool first, const std::string& name, const std::string& level,
                               const std::string& state, const std::string& size) {
    return std::string(first ? "<TR><TD class=\"FCI FTC nw\">Member:</TD>" : "<TR><TD class=\"FCI FTC nw\">&nbsp;</TD>") +
           "<TD class=\"FCI FTC nw\" width=\"100%\"><b>" + HtmlEscapeAll(name) + "</b> (RAID " +
           HtmlEscapeAll(level) + ", <b>" + HtmlEscapeAll(state) + "</b>, " + HtmlEscapeAll(size) + ")</TD></TR>";
  }

  std::string Membership(int n) const {
    std::string rows;
    for (const TResultLD& ld : core_.Result.LDs)
      for (const TIntPair& member : ld.Members)
        if (member.Key == n) rows += MemberRow(rows.empty(), ld.Name, ld.RaidLevel, ld.Status, ld.Size);
    if (!rows.empty()) return rows;
    for (const TResultZepLD& zep : core_.Result.ZepLDs)
      for (const TIntPair& member : zep.Members)
        if (member.Key == n) return MemberRow(true, zep.DeviceName, zep.RaidLevel, zep.Status, zep.Size);
    return rows;
  }

  void ErrorCounters(const TResultHDD& hdd, std::string& out) {
    const int index = core_.Stats.PhysStats.IndexOf(hdd.DeviceId, hdd.Channel);
    if (index < 0) return;
    const TKVStatsPhysP& s = core_.Stats.PhysStats.Item(index);
    if (s.SenseKey4Count.empty() || s.MediumErrorCount.empty() || s.ParityErrorCount.empty() ||
        s.SmartWarningCount.empty())
      return;
    error_counters_.AppendTo(templates_,
                             {HtmlEscapeAll(s.SenseKey4Count), HtmlEscapeAll(s.MediumErrorCount),
                              HtmlEscapeAll(s.ParityErrorCount), HtmlEscapeAll(s.LinkFailCount),
                              HtmlEscapeAll(s.AbortedCommandCount), HtmlEscapeAll(s.SmartWarningCount)},
                             out);
  }

  template <typename TList>
  static const auto* FindParams(const TList& list, const std::string& channel, const std::string& id) {
    for (int i = 0; i < list.Count(); ++i)
      if (list.Item(i).Channel == channel && list.Item(i).Id == id) return list.Item(i).Params.get();
    return static_cast<decltype(list.Item(0).Params.get())>(nullptr);
  }

  // The attribute's name: the drive's own description, then the shipped name table,
  // then "Unknown attribute".
  std::string AttributeName(const TResultHDD& hdd, int32_t attribute_id) {
    std::string name;
    if (core_.SmartDescNames.Count() > 0)
      name = core_.SmartDescNames.Find(ToInt(hdd.DeviceId, -1), ToInt(hdd.Channel, -1), attribute_id);
    if (name.empty()) name = SmartNamesOf(core_).NameOf(attribute_id);
    return name.empty() ? std::string("Unknown attribute") : name;
  }

  // The table around the rows, after a spacer; false when there are no rows.
  bool AppendSmartTable(TPreparedTemplate& table_template, const TSReport& text, std::string& out) {
    if (smart_rows_.empty()) return false;
    rows_txt_.assign(" &nbsp;<br>");
    AppendTextTableHtml(text, rows_txt_);
    rows_txt_.append(" &nbsp;");
    out += kSmartSpacer;
    table_template.AppendTo(templates_, {smart_rows_, "111", rows_txt_, "S.M.A.R.T."}, out);
    return true;
  }

  // The drive's SMART verdict and why, first on the page.
  std::string Verdict() const {
    if (verdict_ == nullptr) return std::string();
    static const char* const kGradeClass[] = {"smart-good", "smart-caution", "smart-bad"};
    std::string why;
    for (size_t i = 0; i < verdict_->Reasons.size(); ++i) why += (i == 0 ? ": " : ", ") + verdict_->Reasons[i];
    return HtmlValueRow("SMART verdict", std::string("<b class=\"") + kGradeClass[static_cast<int>(verdict_->Grade)] +
                                             "\">" + SmartGradeWord(verdict_->Grade) + "</b>" + HtmlEscapeAll(why));
  }

  // A SATA attribute that made the verdict worse gets a marked row.
  bool Marked(int32_t attributeId) const {
    if (verdict_ == nullptr) return false;
    for (int32_t id : verdict_->Attributes)
      if (id == attributeId) return true;
    return false;
  }

  // Drive n's History section, after a spacer, when one was handed in.
  void AppendHistory(int n, std::string& out) {
    if (history_ == nullptr || history_->empty()) return;
    if (history_keys_.empty()) history_keys_ = DriveHistoryKeys(core_, controller_);  // once per model
    if (static_cast<size_t>(n) >= history_keys_.size()) return;
    const auto it = history_->find(history_keys_[static_cast<size_t>(n)]);
    if (it == history_->end() || it->second.empty()) return;
    out += kSmartSpacer;
    out += it->second;
  }

  std::string NoSmartLine() const {
    return kSmartSpacer + std::string("<TR><TD class=\"FCI FTC nw\" colspan=\"2\">") +
           (smart_ == SmartSource::kNotSet ? kNoSmartSourceLine : kNoSmartForDriveLine) + "</TD></TR>";
  }

  // The SATA or SAS table with its text copy; false when the drive has no SMART rows.
  bool AppendSmart(const TResultHDD& hdd, std::string& out) {
    smart_rows_.clear();
    const std::string title = hdd.Vendor + "; " + hdd.Model + "; " + hdd.Size;
    if (const auto* sata = FindParams(core_.SATASmartParams, hdd.Channel, hdd.DeviceId);
        sata != nullptr && sata->Count() > 0) {
      TSReport table;
      table.AddRow(TSReport::kTitle).Text = title;
      TSReportItem& header = table.AddRow();
      const char* headings[] = {"ID", "Hex", "Name", "Current", "Worst", "Raw"};
      for (int c = 0; c < 6; ++c) {
        header.Cell(c).Text = headings[c];
        header.Cell(c).Align = (c == 2 || c == 5) ? TSAlign::kCentre : TSAlign::kLeft;
      }
      table.SetKind(header, TSReport::kBorderAfter);
      for (int m = 0; m < sata->Count(); ++m) {
        const TKVSATASmartP& attr = sata->Item(m);
        std::string name = AttributeName(hdd, attr.Id);
        std::string hex = UpperCaseAscii(attr.IdText);
        std::string id = std::to_string(attr.Id);
        const size_t row_start = smart_rows_.size();
        const std::string shown = HtmlEscapeAll(name);
        sata_row_.AppendTo(templates_,
                           {std::to_string(m + 1), id, HtmlEscapeAll(hex),
                            SameTextAscii(name, "unknown attribute") ? "<i>" + shown + "</i>" : shown,
                            HtmlEscapeAll(attr.Current), HtmlEscapeAll(attr.Worst), HtmlEscapeAll(attr.Raw)},
                           smart_rows_);
        if (Marked(attr.Id) && smart_rows_.compare(row_start, 4, "<tr>") == 0)
          smart_rows_.replace(row_start, 4, "<tr class=\"caution\">");
        TSReportItem& row = table.AddRow();
        std::string* cells[] = {&id, &hex, &name};
        for (int c = 0; c < 3; ++c) row.Cell(c).Text = std::move(*cells[c]);
        row.Cell(3).Text = attr.Current;
        row.Cell(4).Text = attr.Worst;
        row.Cell(5).Text = attr.Raw;
        for (int c = 0; c < 6; ++c) row.Cell(c).Align = c == 2 ? TSAlign::kLeft : TSAlign::kRight;
        if (m == sata->Count() - 1) table.SetKind(row, TSReport::kBorderAfter);
      }
      return AppendSmartTable(sata_table_, table, out);
    }
    const auto* sas = FindParams(core_.SASSmartParams, hdd.Channel, hdd.DeviceId);
    if (sas == nullptr || sas->Count() == 0) return false;
    TSReport table;
    table.AddRow(TSReport::kTitle).Text = title;
    TSReportItem& header = table.AddRow();
    header.Cell(0).Text = "Name";
    header.Cell(0).Align = TSAlign::kCentre;
    header.Cell(1).Text = "Value";
    header.Cell(1).Align = TSAlign::kCentre;
    table.SetKind(header, TSReport::kBorderAfter);
    for (int m = 0; m < sas->Count(); ++m) {
      const TKVSASSmartP& param = sas->Item(m);
      TSReportItem& row = table.AddRow();
      row.Cell(0).Text = param.Name;
      row.Cell(1).Text = param.Value;
      row.Cell(1).Align = TSAlign::kRight;
      if (m == sas->Count() - 1) table.SetKind(row, TSReport::kBorderAfter);
      sas_row_.AppendTo(templates_, {std::to_string(m + 1), HtmlEscapeAll(param.Name), HtmlEscapeAll(param.Value)},
                        smart_rows_);
    }
    return AppendSmartTable(sas_table_, table, out);
  }

  TKVCore& core_;
  const SmartSource smart_;
  const std::vector<TSmartVerdict>* verdicts_;
  const TSmartVerdict* verdict_ = nullptr;  // of the drive being rendered
  const int controller_;
  const THistorySections* history_ = nullptr;
  std::vector<std::string> history_keys_;  // DriveHistoryKeys of the model, on first need
  Tmail_list templates_;  // each template fetched once per renderer
  TPreparedTemplate page_{"tpl_hdd_smart.txt", {"@hddi@", "@caption@"}};
  TPreparedTemplate error_counters_{"tpl_block_stats_ld_stat.txt", {"@h@", "@m@", "@p@", "@l@", "@a@", "@s@"}};
  TPreparedTemplate sata_row_{"tpl_hdd_smart_table_row.txt",
                              {"@num@", "@id@", "@hex@", "@name@", "@curr@", "@worst@", "@rawd@"}};
  TPreparedTemplate sata_table_{"tpl_hdd_smart_table.txt", {"@rows@", "@id@", "@rows_txt@", "@title@"}};
  TPreparedTemplate sas_row_{"tpl_hdd_smart_sas_table_row.txt", {"@num@", "@name@", "@value@"}};
  TPreparedTemplate sas_table_{"tpl_hdd_smart_sas_table.txt", {"@rows@", "@id@", "@rows_txt@", "@title@"}};
  const std::string home_link_;  // empty for controller 1
  // Buffers reused from page to page.
  std::string rows_, smart_rows_, rows_txt_, body_;
};

THddPageRenderer::THddPageRenderer(TKVCore& core, const TMFileList& files, SmartSource smart,
                                   const std::vector<TSmartVerdict>* verdicts, int controller)
    : impl_(std::make_unique<DrivePageRenderer>(core, files, smart, verdicts, controller)) {}

THddPageRenderer::~THddPageRenderer() = default;

TDrivePage THddPageRenderer::Render(const std::string& key) { return impl_->Render(key); }

void THddPageRenderer::SetHistorySections(const THistorySections* sections) { impl_->SetHistorySections(sections); }

TDrivePage RenderHddPage(TKVCore& core, const std::string& key, const TMFileList& files, SmartSource smart,
                         const std::vector<TSmartVerdict>* verdicts, int controller) {
  return THddPageRenderer(core, files, smart, verdicts, controller).Render(key);
}

}  // namespace kv
