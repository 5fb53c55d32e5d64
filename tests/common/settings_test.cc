#include "common/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace velmorin {
namespace {

TEST(Settings, EnvironmentOverridesAndTheDomainFollowsTheServer) {
  ::setenv("VELMORIN_UPDATE_SERVER", "http://127.0.0.1:8081/", 1);
  ::setenv("VELMORIN_COUNCIL_SITE", "http://127.0.0.1:8082", 1);
  ::unsetenv("VELMORIN_UPDATE_DOMAIN");
  const Settings s = LoadSettings();
  EXPECT_EQ(s.update_server, "http://127.0.0.1:8081");
  EXPECT_EQ(s.council_site, "http://127.0.0.1:8082");
  EXPECT_EQ(s.update_domain, "127.0.0.1:8081");
  ::setenv("VELMORIN_UPDATE_DOMAIN", "example", 1);
  EXPECT_EQ(LoadSettings().update_domain, "example");
  ::unsetenv("VELMORIN_UPDATE_SERVER");
  ::unsetenv("VELMORIN_COUNCIL_SITE");
  ::unsetenv("VELMORIN_UPDATE_DOMAIN");
}

TEST(Settings, HostAndPort) {
  EXPECT_EQ(HostAndPort("http://h:81/a/b"), "h:81");
  EXPECT_EQ(HostAndPort("https://h"), "h");
  EXPECT_EQ(HostAndPort("h/x"), "h");
}

}  // namespace
}  // namespace velmorin
