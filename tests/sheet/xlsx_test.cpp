// The .xlsx writer: a real workbook file, written whole or not at all.
#include <gtest/gtest.h>

#include "sheet/xlsx_sheet.h"
#include "support/datalog_support.h"
#include "support/form_fixture.h"
#include "support/xlsx_reader.h"
#include "window/datalog_sheet.h"

namespace eb {
namespace {

using datalog::XlsxSheet;

class DatalogXlsx : public test::FormFixture {
 protected:
  test::ScratchDir dir;
};

TEST_F(DatalogXlsx, WritesAWorkbookFileAndNothingElse) {
  form.CARDSTACK = 9;
  form.SETpoint = 1000;
  form.CYCLEflag = 1;
  form.COUNTERstop = 500;
  for (int s = 1; s <= 1000; ++s) {
    for (int b = 0; b <= 9; ++b) {
      for (int k = 0; k <= 20; ++k) form.DataCell(s, k, b) = "3.600";
    }
  }
  const std::string path = dir / "full.xlsx";
  datalog::ExportDatalog(form, path);
  EXPECT_TRUE(test::LooksLikeXlsx(path));
  // What a spreadsheet program reads back is every cell the layout holds.
  datalog::MemorySheet expected;
  datalog::BuildDatalogSheet(form, expected, path);
  const auto cells = test::WorkbookCells(path);
  size_t withValue = 0;
  for (const auto& [at, cell] : expected.Cells()) {
    if (!cell.HasValue() || cell.Shown().empty()) continue;
    ++withValue;
    auto it = cells.find(at);
    ASSERT_NE(it, cells.end()) << at.first << "," << at.second;
    ASSERT_EQ(it->second, cell.Shown()) << at.first << "," << at.second;
  }
  EXPECT_EQ(cells.size(), withValue);
  EXPECT_EQ(withValue, 8u + 4 + 10 * (9 + 40) + 1000u * 202u);  // A1 … A8, heads, blocks, samples
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"full.xlsx"}));

  // Saving again replaces the file with the new workbook.
  XlsxSheet small(path);
  small.SetBold({1, 1, 2, 3});
  small.WriteText(1, 1, "replaced");
  small.WriteInteger(2, 1, 7);
  small.FitColumns(1, 3);
  EXPECT_EQ(small.Finish(), "");
  EXPECT_TRUE(test::LooksLikeXlsx(path));
  EXPECT_LT(test::FileBytes(path).size(), 10000u);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"full.xlsx"}));
}

TEST_F(DatalogXlsx, AFailedSaveLeavesTheEarlierFileAndNoTemporary) {
  const std::string path = dir / "kept.xlsx";
  std::ofstream(path) << "earlier workbook";
  XlsxSheet sheet(path);
  sheet.WriteText(1, 1, std::string(40000, 'x'));  // longer than a cell may hold
  const std::string why = sheet.Finish();
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(test::FileBytes(path), "earlier workbook");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"kept.xlsx"}));
}

TEST_F(DatalogXlsx, TargetsThatCannotBeWrittenSayWhy) {
  std::filesystem::create_directory(dir / "folder.xlsx");
  auto save = [](const std::string& path) {
    XlsxSheet sheet(path);
    sheet.WriteText(1, 1, "x");
    return sheet.Finish();
  };
  EXPECT_EQ(save(dir / "missing/out.xlsx"), "No such file or directory");
  EXPECT_EQ(save(dir / "folder.xlsx"), "a folder has that name");
  EXPECT_EQ(save(""), "no file name");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder.xlsx"}));
  try {
    datalog::ExportDatalog(form, "");
    ADD_FAILURE() << "an export without a file must fail";
  } catch (const datalog::ExportError& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot write the datalog: no datalog file has been set up. "
                 "The recorded samples are kept.");
  }
}

TEST_F(DatalogXlsx, AnyNameTheFileSystemTakesCanBeWritten) {
  // 255 bytes: the longest name a Linux file system takes.
  const std::string name = std::string(250, 'n') + ".xlsx";
  XlsxSheet sheet(dir / name);
  sheet.WriteText(1, 1, "long name");
  EXPECT_EQ(sheet.Finish(), "");
  EXPECT_TRUE(test::LooksLikeXlsx(dir / name));
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{name}));
}

TEST_F(DatalogXlsx, ASymbolicLinkIsWrittenThrough) {
  std::filesystem::create_directory(dir / "data");
  std::ofstream(dir / "data/run.xlsx") << "earlier";
  std::filesystem::create_symlink("data/run.xlsx", dir / "link.xlsx");
  {
    XlsxSheet sheet(dir / "link.xlsx");
    sheet.WriteText(1, 1, "through the link");
    EXPECT_EQ(sheet.Finish(), "");
  }
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.xlsx"));
  EXPECT_EQ(std::filesystem::read_symlink(dir / "link.xlsx"), "data/run.xlsx");
  EXPECT_TRUE(test::LooksLikeXlsx(dir / "data/run.xlsx"));
  EXPECT_EQ(test::WorkbookCells(dir / "link.xlsx").at({1, 1}), "through the link");
  // A link to a file that does not exist yet creates that file.
  std::filesystem::create_symlink("data/new.xlsx", dir / "dangling.xlsx");
  XlsxSheet fresh(dir / "dangling.xlsx");
  fresh.WriteText(1, 1, "new");
  EXPECT_EQ(fresh.Finish(), "");
  EXPECT_TRUE(test::LooksLikeXlsx(dir / "data/new.xlsx"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling.xlsx"));
}

}  // namespace
}  // namespace eb
