// Everything the integration tests use of the test host.
#pragma once

#include "testhost/FaultProxy.h"
#include "testhost/HostedStorage.h"
#include "testhost/MapLink.h"
#include "testhost/MotoServer.h"
#include "testhost/PluginLibrary.h"
#include "testhost/RecordingLog.h"
#include "testhost/RgwServer.h"
#include "testhost/S3Admin.h"
#include "testhost/ScopedEnv.h"
#include "testhost/StderrCapture.h"
#include "testhost/TcpRelay.h"
