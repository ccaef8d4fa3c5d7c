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

TEST(Resources, TheCompiledScriptHoldsItsDialogsAndIcon) {
  auto resources = Parsed();
  ASSERT_EQ(resources.size(), 3u);
  const hostwin::Resource* icon = hostwin::FindResource(resources, 14, 101);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->language, 1033);
  ASSERT_EQ(icon->size, 20u);
  EXPECT_EQ(icon->data[6], 32);  // width of the one image
  EXPECT_EQ(hostwin::FindResource(resources, 5, 203), nullptr);

  const hostwin::Resource* terms = hostwin::FindResource(resources, 5, 201);
  ASSERT_NE(terms, nullptr);
  hostwin::DialogTemplate t;
  std::string error;
  ASSERT_TRUE(hostwin::ParseDialogTemplate(terms->data, terms->size, &t, &error)) << error;
  EXPECT_EQ(t.style, static_cast<std::uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                                DS_SETFONT));
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ(t.cx, 391);
  EXPECT_EQ(t.cy, 303);
  EXPECT_EQ(t.caption, "Terms");
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.font, "MS Sans Serif");
  ASSERT_EQ(t.items.size(), 3u);
  EXPECT_EQ(t.items[0].className, "BUTTON");
  EXPECT_EQ(t.items[0].text, "&Accept");
  EXPECT_EQ(t.items[0].style & 0xF, static_cast<std::uint32_t>(BS_DEFPUSHBUTTON));
  EXPECT_EQ(t.items[2].className, "EDIT");
  EXPECT_EQ(t.items[2].id, 1009);
  EXPECT_EQ(t.items[2].x, 12);
  EXPECT_EQ(t.items[2].cy, 260);

  const hostwin::Resource* work = hostwin::FindResource(resources, 5, 202);
  ASSERT_NE(work, nullptr);
  ASSERT_TRUE(hostwin::ParseDialogTemplate(work->data, work->size, &t, &error)) << error;
  EXPECT_EQ(t.caption, "");
  ASSERT_EQ(t.items.size(), 4u);
  EXPECT_EQ(t.items[2].id, -1);
  EXPECT_EQ(t.items[2].className, "STATIC");
  EXPECT_EQ(t.items[1].style & WS_VISIBLE, 0u);
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
    if (ok) {
      EXPECT_LE(out.size(), 3u);
    }
  }
  const unsigned char extended[] = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_FALSE(hostwin::ParseDialogTemplate(extended, sizeof extended, &t, &error));
  EXPECT_NE(error.find("extended"), std::string::npos);
}

}  // namespace
