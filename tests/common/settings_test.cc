#include "common/settings.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace velmorin {
namespace {

TEST(Settings, EnvironmentOverridesAndTheDomainFollowsTheServer) {
  Environment env(
      {{"VELMORIN_UPDATE_SERVER", "http://127.0.0.1:8081/"}, {"VELMORIN_COUNCIL_SITE", "http://127.0.0.1:8082"}});
  const Settings s = ReadSettings(env);
  EXPECT_EQ(s.update_server, "http://127.0.0.1:8081");
  EXPECT_EQ(s.council_site, "http://127.0.0.1:8082");
  EXPECT_EQ(s.update_domain, "127.0.0.1:8081");
  env = Environment({{"VELMORIN_UPDATE_SERVER", "http://127.0.0.1:8081"}, {"VELMORIN_UPDATE_DOMAIN", "example"}});
  EXPECT_EQ(ReadSettings(env).update_domain, "example");
}

TEST(Settings, AnEmptyVariableIsAnUnsetOne) {
  const Settings built_in = ReadSettings(Environment());
  const Settings empty = ReadSettings(Environment({{"VELMORIN_UPDATE_SERVER", ""}, {"VELMORIN_COOP_SITE", ""}}));
  EXPECT_EQ(empty.update_server, built_in.update_server);
  EXPECT_EQ(empty.coop_site, built_in.coop_site);
  EXPECT_EQ(empty.update_domain, built_in.update_domain);
}

TEST(Settings, OnlyTheProgramsOwnVariablesCanBeAskedFor) {
  EXPECT_THROW(Environment({{"PATH", "/bin"}}), std::logic_error);
  EXPECT_THROW(Environment().Get("VELMORIN_UPDATE_SERVR"), std::logic_error);
  EXPECT_EQ(Environment().Get("VELMORIN_UI_LOG"), "");
}

TEST(Settings, HostAndPort) {
  EXPECT_EQ(HostAndPort("http://h:81/a/b"), "h:81");
  EXPECT_EQ(HostAndPort("https://h"), "h");
  EXPECT_EQ(HostAndPort("h/x"), "h");
}

}  // namespace
}  // namespace velmorin
