// The resources built into this executable: all 44 present under their names, the
// templates carrying exactly the placeholders and element ids the renderers fill, the
// SMART name table as the parsers read it, and images in their declared formats.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/ini_file.h"
#include "platform/files.h"
#include "platform/runtime_resources.h"
#include "resources/resource_container.h"
#include "resources/resource_store.h"
#include "test_files.h"

namespace kv {
namespace {

const char* const kAllNames[] = {
    "tpl_header.txt", "tpl_end.txt", "tpl_controller.txt", "tpl_controller_zep.txt", "tpl_block.txt",
    "tpl_block_zep.txt", "tpl_block_stats_ld.txt", "tpl_block_stats_ld_stat.txt", "tpl_block_table.txt",
    "tpl_block_table_row.txt", "tpl_cache_block.txt", "tpl_cache_zep_block.txt", "tpl_encl.txt", "tpl_ld.txt",
    "tpl_hdd.txt", "tpl_hdd_smart.txt", "tpl_hdd_smart_table.txt", "tpl_hdd_smart_table_row.txt",
    "tpl_hdd_smart_sas_table.txt", "tpl_hdd_smart_sas_table_row.txt", "tpl_hdd_table.txt",
    "tpl_hdd_table_enc.txt", "tpl_hdd_table_row.txt", "tpl_hdd_table_single.txt", "smart_params.txt",
    "favicon.ico", "logo.png", "hdd.png", "ld.png", "52445.png", "enc.png", "file.png", "gear.png",
    "help.png", "ild.png", "ilds.png", "img_tbl.png", "micro.png", "pen.png", "ref.png", "save.png",
    "p.gif", "microo.png", "_fff25.gif"};

std::string Stored(const std::string& name) {
  std::string bytes;
  EXPECT_TRUE(test::EmbeddedFiles().Find(name, bytes)) << name;
  return bytes;
}

// Every "@word@" token of a template.
std::set<std::string> Placeholders(const std::string& text) {
  std::set<std::string> out;
  size_t i = 0;
  while ((i = text.find('@', i)) != std::string::npos) {
    size_t j = i + 1;
    while (j < text.size() && (std::islower(static_cast<unsigned char>(text[j])) ||
                               std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '_'))
      ++j;
    if (j < text.size() && text[j] == '@' && j > i + 1) {
      out.insert(text.substr(i, j - i + 1));
      i = j + 1;
    } else {
      i = j;
    }
  }
  return out;
}

TEST(ShippedResources, AllFortyFourArePresentOnceUnderTheirNames) {
  const TMFileList& store = test::EmbeddedFiles();
  EXPECT_EQ(store.Count(), 44);
  std::set<std::string> names;
  for (int i = 0; i < store.Count(); ++i) names.insert(store.NameAt(i));
  EXPECT_EQ(names.size(), 44u) << "duplicate names";
  for (const char* name : kAllNames) EXPECT_GE(store.IndexOf(name), 0) << name;
}

TEST(ShippedResources, ResourceNamesFollowTheFileNamesAndOnlyTheSpacerIsStored) {
  const auto resources = platform::EnumerateRuntimeResources();
  ASSERT_EQ(resources.size(), 44u);
  std::set<std::string> expected;
  for (const char* name : kAllNames) expected.insert(ResourceNameOf(name));
  EXPECT_TRUE(expected.count("MICROO_D_PNG"));
  EXPECT_TRUE(expected.count("_FFF25_D_GIF"));
  for (const auto& r : resources) {
    SCOPED_TRACE(r.name);
    EXPECT_TRUE(expected.count(r.name));
    ASSERT_GT(r.bytes.size(), 276u);
    EXPECT_EQ(r.bytes.substr(0, 4), "MFxP");
    EXPECT_EQ(r.bytes[4] != 0, r.name != "P_D_GIF");
  }
}

TEST(ShippedResources, TemplatesHoldExactlyTheirPlaceholdersAndIds) {
  const std::vector<std::string> row = {"@num@", "@state@", "@int@", "@vendor@", "@model@", "@size@",
                                        "@temp@", "@fw@",   "@sn@",  "@wwn@",    "@wc@",    "@link@"};
  std::vector<std::string> hdd_row = row;
  hdd_row.push_back("@ld@");
  const std::vector<std::string> block = {"@id@", "@title@", "@text@", "@text_stats@", "@cache@", "@data@", "@hdds@"};
  const std::vector<std::string> controller = {"@controller_info@", "@controller_data@", "@bbu_caption@", "@bbu@",
                                               "@version@"};
  std::vector<std::string> controller_zep = controller;
  controller_zep.insert(controller_zep.end(), {"@stat_data1@", "@stat_data2@", "@stat_data3@"});
  const std::vector<std::string> smart_table = {"@id@", "@title@", "@rows@", "@rows_txt@"};

  struct Row {
    std::string name;
    std::vector<std::string> placeholders;
    std::vector<std::string> fragments;  // element ids and other fixed texts
  };
  const Row rows[] = {
      {"tpl_header.txt", {}, {"function toggle_collapse(objid)", "href=\"raw\"", "href=\"ini\"", "href=\"support_kvr.zip\""}},
      {"tpl_end.txt", {"@u@"}, {"class=\"main_footer nw FCI FTC\"", "Korvane Monitor"}},
      {"tpl_controller.txt", controller, {}},
      {"tpl_controller_zep.txt", controller_zep, {}},
      {"tpl_ld.txt", {"@ld@"}, {}},
      {"tpl_block.txt", block, {"id=\"c_@id@\"", "id=\"c_@id@_all\""}},
      {"tpl_block_zep.txt", block, {"id=\"c_@id@\"", "id=\"c_@id@_all\""}},
      {"tpl_block_table.txt", {"@rows@"}, {"Intr.", "Write Cache", "Serial number"}},
      {"tpl_block_table_row.txt", row, {}},
      {"tpl_block_stats_ld.txt", {"@r@", "@w@"}, {}},
      {"tpl_cache_block.txt", {"@id@", "@data@"}, {"id=\"c_@id@_cache\""}},
      {"tpl_cache_zep_block.txt", {"@id@", "@data@", "@data2@"}, {"id=\"c_@id@_cache\"", "id=\"zepc_@id@_cache\""}},
      {"tpl_encl.txt", {"@id@", "@title@", "@text@"}, {"id=\"c_@id@_enc\""}},
      {"tpl_hdd.txt", {"@hdd@", "@hdde@", "@encl@"}, {}},
      {"tpl_hdd_table.txt", {"@rows@"}, {">LD<", "Intr."}},
      {"tpl_hdd_table_row.txt", hdd_row, {}},
      {"tpl_hdd_table_single.txt", {"@hdd@"}, {}},
      {"tpl_hdd_table_enc.txt", {"@id@", "@title@", "@hdd@"}, {"id=\"c_@id@\""}},
      {"tpl_hdd_smart.txt", {"@caption@", "@hddi@"}, {"href=\"/\""}},
      {"tpl_block_stats_ld_stat.txt", {"@h@", "@m@", "@p@", "@l@", "@a@", "@s@"}, {}},
      {"tpl_hdd_smart_table.txt", smart_table, {"id=\"c_2\"", ">Worst<", ">Hex<"}},
      {"tpl_hdd_smart_table_row.txt", {"@num@", "@id@", "@hex@", "@name@", "@curr@", "@worst@", "@rawd@"}, {}},
      {"tpl_hdd_smart_sas_table.txt", smart_table, {"id=\"c_2\"", ">Value<"}},
      {"tpl_hdd_smart_sas_table_row.txt", {"@num@", "@name@", "@value@"}, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string text = Stored(r.name);
    EXPECT_EQ(Placeholders(text), std::set<std::string>(r.placeholders.begin(), r.placeholders.end()));
    for (const std::string& f : r.fragments) EXPECT_NE(text.find(f), std::string::npos) << f;
    // Nothing may reach outside the machine.
    for (const char* outside : {"src=\"http", "src='http", "href=\"//", "@import", "url(http"})
      EXPECT_EQ(text.find(outside), std::string::npos) << outside;
  }
}

TEST(ShippedResources, HeaderStyleSheetDefinesTheRowClasses) {
  const std::string header = Stored("tpl_header.txt");
  for (const char* rule : {".FCI {", ".FTC {", ".nw {", ".sml {", "padding: 2px 4px 2px 4px", "color: #101010",
                           "font-size: 11px", "Tahoma, Verdana, Arial, Helvetica, sans-serif", "white-space: nowrap",
                           "font-size: 10px"})
    EXPECT_NE(header.find(rule), std::string::npos) << rule;
}

TEST(ShippedResources, ReferencedImagesAreStored) {
  std::string pages;
  for (const char* name : kAllNames)
    if (std::string(name).rfind("tpl_", 0) == 0) pages += Stored(name);
  for (const char* image : {"gear.png", "save.png", "help.png", "ild.png", "ilds.png", "ld.png", "pen.png",
                            "ref.png", "enc.png", "hdd.png", "img_tbl.png", "logo.png", "p.gif", "52445.png",
                            "favicon.ico"})
    EXPECT_NE(pages.find(std::string("\"") + image + "\""), std::string::npos) << image << " never referenced";
  // Every src="..." in the templates names a stored file.
  for (size_t at = pages.find("src=\""); at != std::string::npos; at = pages.find("src=\"", at + 5)) {
    const size_t end = pages.find('"', at + 5);
    ASSERT_NE(end, std::string::npos);
    const std::string name = pages.substr(at + 5, end - at - 5);
    EXPECT_GE(test::EmbeddedFiles().IndexOf(name), 0) << name;
  }
}

TEST(ShippedResources, ImagesAreWhatTheirNamesSay) {
  for (const char* name : kAllNames) {
    const std::string n = name;
    const std::string bytes = Stored(n);
    SCOPED_TRACE(n);
    if (n.size() > 4 && n.substr(n.size() - 4) == ".png") {
      EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
    } else if (n.size() > 4 && n.substr(n.size() - 4) == ".gif") {
      EXPECT_EQ(bytes.substr(0, 6), "GIF89a");
      EXPECT_EQ(bytes.back(), ';');
    }
  }
  const std::string ico = Stored("favicon.ico");
  ASSERT_GE(ico.size(), 22u);
  EXPECT_EQ(ico.substr(0, 6), std::string("\0\0\1\0\1\0", 6));
  EXPECT_EQ(ico[6], 16);
  EXPECT_EQ(ico[7], 16);
}

TEST(ShippedResources, SmartNameTableLoadsFiftyNamesWithoutTheLaterSections) {
  const std::string text = Stored("smart_params.txt");
  TMemIniFile ini(text);
  const int64_t count = ini.ReadInteger("main", "count", 0);
  EXPECT_EQ(count, 50);
  std::set<int64_t> loaded;
  for (int64_t i = 0; i < count; ++i) {
    const std::string section = "p" + std::to_string(i);
    ASSERT_TRUE(ini.SectionExists(section)) << section;
    loaded.insert(ini.ReadInteger(section, "id", -1));
    EXPECT_FALSE(ini.ReadString(section, "name", "").empty()) << section;
  }
  EXPECT_EQ(loaded.size(), 50u);
  EXPECT_EQ(loaded.count(232), 0u);
  EXPECT_EQ(loaded.count(175), 1u);  // p49, stored out of numeric order
  EXPECT_EQ(ini.ReadString("p20", "name", ""), "HDA temperature");
  EXPECT_EQ(ini.ReadInteger("p55", "id", -1), 232);
  EXPECT_NE(text.find("name=SATA Downshift Error Count \r\n"), std::string::npos);
  // Stored order: p0..p12, p50..p53, p49, p54, p13..p48, p55..p59.
  EXPECT_LT(text.find("[p12]"), text.find("[p50]"));
  EXPECT_LT(text.find("[p53]"), text.find("[p49]"));
  EXPECT_LT(text.find("[p54]"), text.find("[p13]"));
  EXPECT_LT(text.find("[p48]"), text.find("[p55]"));
}

TEST(ShippedResources, BytesEqualTheFilesOfTheSourceTree) {
  const std::string folder = std::string(KV_SOURCE_DIR) + "/resources/";
  std::string probe;
  if (platform::ReadWholeFile(folder + "logo.png", probe) != platform::FileReadResult::kOk)
    GTEST_SKIP() << "source tree not readable from here";
  for (const char* name : kAllNames) {
    std::string file;
    ASSERT_EQ(platform::ReadWholeFile(folder + name, file), platform::FileReadResult::kOk) << name;
    EXPECT_TRUE(Stored(name) == file) << name;
  }
}

}  // namespace
}  // namespace kv
