#pragma once

// For GoogleTest cases that need the private scheduler of a PrintingSetup.

#include <gtest/gtest.h>

#include "private_cupsd.h"

// The tests need cupsd; on CI its absence is a failure, elsewhere a skip.
#define REQUIRE_SCHEDULER(setup)                                              \
  do {                                                                        \
    if (!(setup).cupsd) {                                                     \
      if (::brisakett::testing::CupsdRequired()) FAIL() << "no private cupsd: " << (setup).why; \
      GTEST_SKIP() << "no private cupsd: " << (setup).why;                    \
    }                                                                         \
  } while (false)

// The same for the SNMP agents (tests/support/private_snmpd.h) that play
// the printers' status.
#define REQUIRE_AGENTS(started, why)                                          \
  do {                                                                        \
    if (!(started)) {                                                         \
      if (::brisakett::testing::CupsdRequired()) FAIL() << "no snmpd: " << (why); \
      GTEST_SKIP() << "no snmpd: " << (why);                                  \
    }                                                                         \
  } while (false)

// The same for another program a test runs (`path` as FindProgram gives
// it, empty when missing), such as Prometheus' promtool.
#define REQUIRE_PROGRAM(path, what)                                           \
  do {                                                                        \
    if ((path).empty()) {                                                     \
      if (::brisakett::testing::CupsdRequired()) FAIL() << (what) << " is not installed"; \
      GTEST_SKIP() << (what) << " is not installed";                          \
    }                                                                         \
  } while (false)
