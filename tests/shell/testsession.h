#pragma once

// Kept for the suites outside this folder that include the session helpers
// from here and rely on the API headers coming with them.
#include "support/testsession.h"

#include "net/api.h"
#include "net/basehttp.h"
#include "net/usertoken.h"

#include <QSignalSpy>
#include <QTest>
