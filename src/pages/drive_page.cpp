#include "pages/drive_page.h"

#include <memory>
#include <vector>

#include "base/text_case.h"
#include "base/text_helpers.h"
#include "model/kv_core.h"
#include "pages/format_helpers.h"
#include "pages/page_rows.h"
#include "pages/template_engine.h"
#include "pages/ts_report.h"
#include "parse/smart_names.h"

namespace kv {
namespace {

constexpr const char* kSmartSpacer =
    "<TR><TD class=\"FCI FTC nw\">&nbsp;</TD><TD class=\"FCI FTC nw\" width=\"100%\">&nbsp;</TD></TR>";

}  // namespace

class DrivePageRenderer {
 public:
  DrivePageRenderer(TKVCore& core, const TMFileList& files, SmartSource smart,
                    const std::vector<TSmartVerdict>* verdicts)
      : core_(core), smart_(smart), verdicts_(verdicts), templates_(files) {}

  TDrivePage Render(const std::string& requested) {
    const std::string key = LowerCaseAscii(requested);
    verdict_ = nullptr;
    TDrivePage page;
    std::string rows;
    std::string caption;
    const int n = FindDrive(key);
    if (n >= 0) {
      const TResultHDD& hdd = core_.Result.HDDs.Item(n);
      caption = hdd.Model;
      page.AlternativeKey = LowerCaseAscii(hdd.SerialNumber);
      verdict_ = verdicts_ != nullptr && static_cast<size_t>(n) < verdicts_->size() ? &(*verdicts_)[static_cast<size_t>(n)]
                                                                                  : nullptr;
      std::string smart = Smart(hdd);
      if (smart.empty()) smart = NoSmartLine();
      rows = Verdict() + Identity(hdd) + Membership(n) + ErrorCounters(hdd) + smart;
    }
    page.Body = Apply("tpl_hdd_smart.txt", {{"@hddi@", rows}, {"@caption@", caption}});
    return page;
  }

 private:
  using Pairs = std::vector<std::pair<std::string, std::string>>;

  std::string Apply(const char* file, const Pairs& pairs) {
    templates_.ClearPairs();
    for (const auto& [k, v] : pairs) templates_.AddPair(k, v);
    templates_.ApplyTemplate(file);
    return templates_.GetResult();
  }

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

  static std::string Identity(const TResultHDD& hdd) {
    return ValueRow("Model", hdd.Model) + ValueRow("Vendor", hdd.Vendor) + BoldValueRow("State", hdd.State) +
           ValueRow("Size", hdd.Size) + ValueRow("Transfer Speed", hdd.TransferSpeed) +
           ValueRow("Firmware", hdd.Firmware) + ValueRow("Serial number", hdd.SerialNumber) +
           ValueRow("WWN", hdd.WorldWideName) + ValueRow("Temperature", hdd.SmartTemperature);
  }

  static std::string MemberRow(bool first, const std::string& name, const std::string& level,
                               const std::string& state, const std::string& size) {
    return std::string(first ? "<TR><TD class=\"FCI FTC nw\">Member:</TD>" : "<TR><TD class=\"FCI FTC nw\">&nbsp;</TD>") +
           "<TD class=\"FCI FTC nw\" width=\"100%\"><b>" + HtmlEscape(name) + "</b> (RAID " + HtmlEscape(level) +
           ", <b>" + HtmlEscape(state) + "</b>, " + HtmlEscape(size) + ")</TD></TR>";
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

  std::string ErrorCounters(const TResultHDD& hdd) {
    const int index = core_.Stats.PhysStats.IndexOf(hdd.DeviceId, hdd.Channel);
    if (index < 0) return std::string();
    const TKVStatsPhysP& s = core_.Stats.PhysStats.Item(index);
    if (s.SenseKey4Count.empty() || s.MediumErrorCount.empty() || s.ParityErrorCount.empty() ||
        s.SmartWarningCount.empty())
      return std::string();
    return Apply("tpl_block_stats_ld_stat.txt", {{"@h@", s.SenseKey4Count},
                                                 {"@m@", s.MediumErrorCount},
                                                 {"@p@", s.ParityErrorCount},
                                                 {"@l@", s.LinkFailCount},
                                                 {"@a@", s.AbortedCommandCount},
                                                 {"@s@", s.SmartWarningCount}});
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

  // The text copy: the lines with CR LF after each, two blanks become " &nbsp;" and every
  // line break "<br>" + CR LF, so the closing border is followed by a break like the others.
  // Line by line, in one pass: the CR LF between lines breaks every run of blanks, so no
  // pair of blanks and no CR LF spans two lines.
  static std::string TextTable(TSReport& table) {
    TStringList lines;
    table.Render(lines);
    std::string text;
    size_t size = 0;
    for (const std::string& line : lines) size += line.size() * 4 + 6;  // at most " &nbsp;" per two bytes
    text.reserve(size);
    for (const std::string& line : lines) {
      size_t from = 0;  // start of the bytes not yet copied
      for (size_t i = 0; i + 1 < line.size(); ++i) {
        const char* with = line[i] == ' ' && line[i + 1] == ' '     ? " &nbsp;"
                           : line[i] == '\r' && line[i + 1] == '\n' ? "<br>\r\n"
                                                                    : nullptr;
        if (with == nullptr) continue;
        text.append(line, from, i - from).append(with);
        from = i + 2;
        ++i;
      }
      text.append(line, from, std::string::npos).append("<br>\r\n");
    }
    return text;
  }

  std::string SmartTable(const char* table_template, const std::string& rows, TSReport& text) {
    if (rows.empty()) return std::string();
    return kSmartSpacer + Apply(table_template, {{"@rows@", rows},
                                                 {"@id@", "111"},
                                                 {"@rows_txt@", " &nbsp;<br>" + TextTable(text) + " &nbsp;"},
                                                 {"@title@", "S.M.A.R.T."}});
  }

  // The drive's SMART verdict and why, first on the page.
  std::string Verdict() const {
    if (verdict_ == nullptr) return std::string();
    static const char* const kGradeClass[] = {"smart-good", "smart-caution", "smart-bad"};
    std::string why;
    for (size_t i = 0; i < verdict_->Reasons.size(); ++i) why += (i == 0 ? ": " : ", ") + verdict_->Reasons[i];
    return HtmlValueRow("SMART verdict", std::string("<b class=\"") + kGradeClass[static_cast<int>(verdict_->Grade)] +
                                             "\">" + SmartGradeWord(verdict_->Grade) + "</b>" + HtmlEscape(why));
  }

  // A SATA attribute that made the verdict worse gets a marked row.
  bool Marked(int32_t attributeId) const {
    if (verdict_ == nullptr) return false;
    for (int32_t id : verdict_->Attributes)
      if (id == attributeId) return true;
    return false;
  }

  std::string NoSmartLine() const {
    return kSmartSpacer + std::string("<TR><TD class=\"FCI FTC nw\" colspan=\"2\">") +
           (smart_ == SmartSource::kNotSet ? kNoSmartSourceLine : kNoSmartForDriveLine) + "</TD></TR>";
  }

  std::string Smart(const TResultHDD& hdd) {
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
      std::string rows;
      for (int m = 0; m < sata->Count(); ++m) {
        const TKVSATASmartP& attr = sata->Item(m);
        const std::string name = AttributeName(hdd, attr.Id);
        const std::string hex = UpperCaseAscii(attr.IdText);
        TSReportItem& row = table.AddRow();
        const std::string cells[] = {std::to_string(attr.Id), hex, name, attr.Current, attr.Worst, attr.Raw};
        for (int c = 0; c < 6; ++c) {
          row.Cell(c).Text = cells[c];
          row.Cell(c).Align = c == 2 ? TSAlign::kLeft : TSAlign::kRight;
        }
        if (m == sata->Count() - 1) table.SetKind(row, TSReport::kBorderAfter);
        std::string row_html = Apply("tpl_hdd_smart_table_row.txt",
                                     {{"@num@", std::to_string(m + 1)},
                                      {"@id@", std::to_string(attr.Id)},
                                      {"@hex@", hex},
                                      {"@name@", SameTextAscii(name, "unknown attribute") ? "<i>" + name + "</i>" : name},
                                      {"@curr@", attr.Current},
                                      {"@worst@", attr.Worst},
                                      {"@rawd@", attr.Raw}});
        if (Marked(attr.Id) && row_html.rfind("<tr>", 0) == 0)
          row_html.replace(0, 4, "<tr class=\"caution\">");
        rows += row_html;
      }
      return SmartTable("tpl_hdd_smart_table.txt", rows, table);
    }
    const auto* sas = FindParams(core_.SASSmartParams, hdd.Channel, hdd.DeviceId);
    if (sas == nullptr || sas->Count() == 0) return std::string();
    TSReport table;
    table.AddRow(TSReport::kTitle).Text = title;
    TSReportItem& header = table.AddRow();
    header.Cell(0).Text = "Name";
    header.Cell(0).Align = TSAlign::kCentre;
    header.Cell(1).Text = "Value";
    header.Cell(1).Align = TSAlign::kCentre;
    table.SetKind(header, TSReport::kBorderAfter);
    std::string rows;
    for (int m = 0; m < sas->Count(); ++m) {
      const TKVSASSmartP& param = sas->Item(m);
      TSReportItem& row = table.AddRow();
      row.Cell(0).Text = param.Name;
      row.Cell(1).Text = param.Value;
      row.Cell(1).Align = TSAlign::kRight;
      if (m == sas->Count() - 1) table.SetKind(row, TSReport::kBorderAfter);
      rows += Apply("tpl_hdd_smart_sas_table_row.txt",
                    {{"@num@", std::to_string(m + 1)}, {"@name@", HtmlEscape(param.Name)}, {"@value@", param.Value}});
    }
    return SmartTable("tpl_hdd_smart_sas_table.txt", rows, table);
  }

  TKVCore& core_;
  const SmartSource smart_;
  const std::vector<TSmartVerdict>* verdicts_;
  const TSmartVerdict* verdict_ = nullptr;  // of the drive being rendered
  Tmail_list templates_;  // each template fetched once per renderer
};

THddPageRenderer::THddPageRenderer(TKVCore& core, const TMFileList& files, SmartSource smart,
                                   const std::vector<TSmartVerdict>* verdicts)
    : impl_(std::make_unique<DrivePageRenderer>(core, files, smart, verdicts)) {}

THddPageRenderer::~THddPageRenderer() = default;

TDrivePage THddPageRenderer::Render(const std::string& key) { return impl_->Render(key); }

TDrivePage RenderHddPage(TKVCore& core, const std::string& key, const TMFileList& files, SmartSource smart,
                         const std::vector<TSmartVerdict>* verdicts) {
  return THddPageRenderer(core, files, smart, verdicts).Render(key);
}

}  // namespace kv
