#include "platform/own_file_names.h"

#include <gtest/gtest.h>

namespace pellorin::platform {
namespace {

TEST(OwnFileNames, RoundTripAndNothingElseCounts) {
  const OwnFileName temporary{.kind = OwnFileKind::Temporary,
                              .process = 4242,
                              .serial = 7,
                              .host = HostTag("studio-pc.local"),
                              .original = ""};
  EXPECT_EQ(FormatOwnFileName(temporary), ".pellorin-4242-7-studio_pc_local.part");
  const OwnFileName aside{.kind = OwnFileKind::SetAside,
                          .process = 1,
                          .serial = 0,
                          .host = "H",
                          .original = "A - B.part.mp3"};
  for (const auto& name : {temporary, aside}) {
    const auto parsed = ParseOwnFileName(FormatOwnFileName(name));
    ASSERT_TRUE(parsed) << FormatOwnFileName(name);
    EXPECT_EQ(parsed->kind, name.kind);
    EXPECT_EQ(parsed->process, name.process);
    EXPECT_EQ(parsed->serial, name.serial);
    EXPECT_EQ(parsed->host, name.host);
    EXPECT_EQ(parsed->original, name.original);
  }
  // Names a user or another program may have: never taken for ours.
  for (const char* name :
       {".pellorin-12-3-host.part.mp3", ".pellorin-012-3-host.part", ".pellorin--3-host.part",
        ".pellorin-12-3-ho-st.part", ".pellorin-12-3-.part", ".pellorin-12-3-host.gone-",
        ".pellorin-12-3-host.partial", "pellorin-12-3-host.part", ".pellorin-1x-3-host.part",
        ".Pellorin-12-3-host.part", ".pellorin-12-3-host"}) {
    EXPECT_FALSE(ParseOwnFileName(name)) << name;
  }
}

}  // namespace
}  // namespace pellorin::platform
