// One connection of the front relay (see relay.h).
#pragma once

#include <memory>

#include "relay.h"

namespace velmorin::test_server {

// Serves the one request of a connection.
void ServeRelayedConnection(const std::shared_ptr<RelayedClient>& client, const RelayTarget& target);

}  // namespace velmorin::test_server
