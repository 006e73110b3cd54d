#include <gtest/gtest.h>

#include "cli/orvalis-search/searchToolOptions.h"

namespace orvalis {
namespace {

ParsedSearchToolOptions parse(std::vector<std::string> arguments) {
  return parseSearchToolOptions(arguments);
}

TEST(SearchToolOptions, DefaultsAreStillImageMode) {
  const ParsedSearchToolOptions parsed = parse({});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const SearchToolOptions& options = parsed.options;
  EXPECT_EQ(options.archiveFolder, "Image_Archive");
  EXPECT_EQ(options.query(), "Image_Archive/Current_Image.jpg");
  EXPECT_FALSE(options.parametersPath);
  EXPECT_FALSE(options.viewfinderRadius);
  EXPECT_FALSE(options.filterRadius);
  EXPECT_FALSE(options.colorTolerance);
  EXPECT_EQ(options.first, 0u);
  EXPECT_EQ(options.last, 4294967295u);
  EXPECT_FALSE(options.all || options.human || options.help || options.reference);
}

TEST(SearchToolOptions, EveryOptionInBothSpellings) {
  const ParsedSearchToolOptions parsed =
      parse({"--archive", "pics", "--query=q.jpg", "--parameters", "p.bin", "--viewfinder", "120,70,40",
             "--filter-radius=20", "--tolerance", "0", "--first", "3", "--last=4294967295", "--all",
             "--human", "--reference"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const SearchToolOptions& options = parsed.options;
  EXPECT_EQ(options.archiveFolder, "pics");
  EXPECT_EQ(options.query(), "q.jpg");
  EXPECT_EQ(*options.parametersPath, "p.bin");
  EXPECT_EQ(*options.viewfinderX, 120u);
  EXPECT_EQ(*options.viewfinderY, 70u);
  EXPECT_EQ(*options.viewfinderRadius, 40u);
  EXPECT_EQ(*options.filterRadius, 20u);
  EXPECT_EQ(*options.colorTolerance, 0u);
  EXPECT_EQ(options.first, 3u);
  EXPECT_EQ(options.last, 4294967295u);
  EXPECT_TRUE(options.all && options.human && options.reference);
  // The query follows the archive folder unless it is named.
  EXPECT_EQ(parse({"--archive", "pics"}).options.query(), "pics/Current_Image.jpg");
  EXPECT_TRUE(parse({"-h"}).options.help);
}

TEST(SearchToolOptions, RefusesEveryBadValueWithAMessageNamingIt) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--filter-radius", "0"}, "--filter-radius"},
      {{"--filter-radius", "21"}, "--filter-radius"},
      {{"--tolerance", "256"}, "--tolerance"},
      {{"--tolerance", "-1"}, "--tolerance"},
      {{"--tolerance", "1e3"}, "--tolerance"},
      {{"--first", "4294967296"}, "--first"},
      {{"--first", "99999999999999999999"}, "--first"},
      {{"--first", ""}, "--first"},
      {{"--last", " 5"}, "--last"},
      {{"--first", "5", "--last", "4"}, "--first 5 is after --last 4"},
      {{"--viewfinder", "1,2"}, "--viewfinder"},
      {{"--viewfinder", "1,2,3,4"}, "--viewfinder"},
      {{"--viewfinder", "1,2,0"}, "--viewfinder"},
      {{"--viewfinder", "1,2,251"}, "--viewfinder"},
      {{"--viewfinder", "a,2,3"}, "--viewfinder"},
      {{"--viewfinder", ",,"}, "--viewfinder"},
      {{"--query"}, "--query"},
      {{"--archive="}, "--archive"},
      {{"--all=yes"}, "--all takes no value"},
      {{"--fast"}, "unknown option --fast"},
      {{"archive"}, "unexpected argument 'archive'"},
      {{"--merge"}, "--merge needs the shards' output files"},
      {{"--merge", "--first", "3", "a.jsonl"}, "--merge joins shard files"},
      {{"--merge", "--shard", "a.jsonl"}, "--merge joins shard files"},
      {{"--shard", "--human"}, "--shard writes JSON lines"},
  };
  for (const auto& [arguments, message] : cases) {
    const ParsedSearchToolOptions parsed = parse(arguments);
    EXPECT_FALSE(parsed.ok) << arguments[0];
    EXPECT_NE(parsed.error.find(message), std::string::npos) << parsed.error;
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << parsed.error;
  }
}

}  // namespace
}  // namespace orvalis
