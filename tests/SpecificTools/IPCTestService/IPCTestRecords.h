#pragma once

// The records of the test service that the interprocess tests and the test
// server program share, declared in the framework's compact record form.

#include "SpecificTools/Interprocess/AFXInterprocessRequest.h"
#include "SpecificTools/Model/AFXEnvironment.h"

#include <QString>
#include <QUuid>

#include <cstdint>

// The test service's bus name. Test programs running side by side each
// choose one of their own (KESTREL_IPC_TEST_SERVICE), which the servers they
// start inherit.
inline QString IPCTestServiceName() {
    const QByteArray chosen = qgetenv("KESTREL_IPC_TEST_SERVICE");
    return chosen.isEmpty() ? QStringLiteral("com.kestrel.tests.InterprocessTestService")
                            : QString::fromUtf8(chosen);
}

class IPCTestProgressReport : public AFXInterprocessReport {
    AFX_DECLARE_RECORD(IPCTestProgressReport)
    AFX_RECORD_FIELD(std::int64_t, index, setIndex)
};

class IPCTestEchoResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(IPCTestEchoResponse)
    AFX_RECORD_FIELD(QString, text, setText)
    // What the server saw of the request and who served it.
    AFX_RECORD_FIELD(QUuid, reportStreamID, setReportStreamID)
    AFX_RECORD_FIELD(QUuid, reportSessionID, setReportSessionID)
    AFX_RECORD_FIELD(std::int64_t, processIdentifier, setProcessIdentifier)
};

// Answered with its text. The server first sends `reportCount` progress
// reports; with a hold key it then keeps the request unanswered until a
// release request names that key.
class IPCTestEchoRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(IPCTestEchoRequest)
    AFX_RECORD_FIELD(QString, text, setText)
    AFX_RECORD_FIELD(std::int64_t, reportCount, setReportCount)
    AFX_RECORD_FIELD(QString, holdKey, setHoldKey)

public:
    const platform::Class* responseClass() const override { return IPCTestEchoResponse::staticClass(); }
    const platform::Class* reportClass() const override { return IPCTestProgressReport::staticClass(); }
    void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                          AFXInterprocessResponseHandler responseHandler) override;
};

class IPCTestCountResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(IPCTestCountResponse)
    AFX_RECORD_FIELD(std::int64_t, count, setCount)
};

// Answers the held requests of its key; the count says how many there were.
class IPCTestReleaseRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(IPCTestReleaseRequest)
    AFX_RECORD_FIELD(QString, holdKey, setHoldKey)

public:
    const platform::Class* responseClass() const override { return IPCTestCountResponse::staticClass(); }
    void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                          AFXInterprocessResponseHandler responseHandler) override;
};

class IPCTestVoteResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(IPCTestVoteResponse)
    AFX_RECORD_FIELD(bool, agrees, setAgrees)
};

// Runs the server's termination vote among its connected clients.
class IPCTestVoteRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(IPCTestVoteRequest)

public:
    const platform::Class* responseClass() const override { return IPCTestVoteResponse::staticClass(); }
    void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                          AFXInterprocessResponseHandler responseHandler) override;
};

class IPCTestEnvironmentResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(IPCTestEnvironmentResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXEnvironment>, environment, setEnvironment)
};

// Answered with the server's environment, like the system management
// service's current-environment request.
class IPCTestEnvironmentRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(IPCTestEnvironmentRequest)
    AFX_RECORD_FIELD(bool, isUpdated, setIsUpdated)

public:
    const platform::Class* responseClass() const override {
        return IPCTestEnvironmentResponse::staticClass();
    }
    void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                          AFXInterprocessResponseHandler responseHandler) override;
};

// A request the server does not list: its decoding refuses it.
class IPCTestUnlistedRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(IPCTestUnlistedRequest)

public:
    const platform::Class* responseClass() const override { return IPCTestCountResponse::staticClass(); }
};

// The request classes the server serves.
QList<const platform::Class*> IPCTestServedRequestClasses();
