#include "signedinapifixture.h"

#include "net/api.h"

bool SignedInApiFixture::startSignedIn()
{
    server = std::make_unique<RecordingHttpServer>();
    BaseHttp::setBaseAddressForTesting(server->apiBase());
    api = API::instance();
    return ApiRecorder::signIn(*server);
}

void SignedInApiFixture::stopServer()
{
    // The kept-alive connections would hold the server's shutdown up.
    api->dropConnectionsForTesting();
    server.reset();
}

void SignedInApiFixture::beginTest()
{
    BaseHttp::setBaseAddressForTesting(server->apiBase());
    server->clearRequests();
    recorder = std::make_unique<ApiRecorder>(api);
}

bool SignedInApiFixture::endTest()
{
    const bool idle = recorder->waitForIdle();
    recorder.reset();
    BaseHttp::setBaseAddressForTesting(server->apiBase());
    return idle;
}
