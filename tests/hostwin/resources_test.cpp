// The compiled resources the stand-in reads: the .res entries and the
// classic dialog templates, checked against the test script's own values,
// and rejected when cut short.
#include <gtest/gtest.h>

#include <windows.h>

#include "hostwin/resources.h"

extern const unsigned char HostwinTestResources[];
extern const std::size_t HostwinTestResourcesSize;

namespace {

std::vector<hostwin::Resource> Parsed() {
  std::vector<hostwin::Resource> resources;
  std::string error;
  EXPECT_TRUE(hostwin::ParseResources(HostwinTestResources, HostwinTestResourcesSize, &resources, &error)) << error;
  return resources;
}

// Sizes, captions, controls and their visibility are pinned by the runner's
// transcripts; here: what no transcript shows.
TEST(Resources, TheCompiledScriptHoldsItsDialogsAndIcon) {
  auto resources = Parsed();
  ASSERT_EQ(resources.size(), 3u);
  const hostwin::Resource* icon = hostwin::FindResource(resources, 14, 101);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->language, 1033);
  EXPECT_EQ(icon->size, 20u);

  const hostwin::Resource* terms = hostwin::FindResource(resources, 5, 201);
  ASSERT_NE(terms, nullptr);
  hostwin::DialogTemplate t;
  std::string error;
  ASSERT_TRUE(hostwin::ParseDialogTemplate(terms->data, terms->size, &t, &error)) << error;
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.font, "MS Sans Serif");
  ASSERT_EQ(t.items.size(), 3u);
  EXPECT_EQ(t.items[0].text, "&Accept");
  EXPECT_EQ(t.items[2].x, 12);
  EXPECT_EQ(t.items[2].cy, 260);
}

TEST(Resources, CutDataIsRejectedAtEveryLength) {
  auto resources = Parsed();
  const hostwin::Resource* terms = hostwin::FindResource(resources, 5, 201);
  ASSERT_NE(terms, nullptr);
  hostwin::DialogTemplate t;
  std::string error;
  for (std::size_t size = 0; size < terms->size - 2; ++size)  // the last item may end in padding-free text
    EXPECT_FALSE(hostwin::ParseDialogTemplate(terms->data, size, &t, &error)) << size;
  for (std::size_t size = 1; size < HostwinTestResourcesSize; ++size) {
    std::vector<hostwin::Resource> out;
    bool ok = hostwin::ParseResources(HostwinTestResources, size, &out, &error);
    // A cut file either fails or holds fewer entries, never one that reaches past the end.
    for (const auto& r : out) EXPECT_LE(r.data + r.size, HostwinTestResources + size);
    EXPECT_TRUE(!ok || out.size() <= 3u);
  }
  const unsigned char extended[] = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_FALSE(hostwin::ParseDialogTemplate(extended, sizeof extended, &t, &error));
  EXPECT_NE(error.find("extended"), std::string::npos);
}

}  // namespace
