#include "SessionManagerStandIn.h"
#include "support/TestTime.h"

#include <QDeadlineTimer>
#include <X11/ICE/ICElib.h>
#include <X11/ICE/ICEutil.h>
#include <X11/SM/SMlib.h>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <vector>

struct SessionManagerStandIn::State
{
    QString error;
    std::vector<IceListenObj> listeners;
    IceListenObj* listenObjects = nullptr;
    int listenCount = 0;
    QString address;
    std::vector<IceConn> connections;
    SmsConn client = nullptr;
    bool registered = false;
    bool saveDone = false;
    bool saveSucceeded = false;
    bool clientGone = false;
    int restartStyle = -1; // the client's RestartStyleHint, -1 until it sets one
};

namespace {

// No authentication: only this user's processes reach the socket, in a folder
// of the test's own.
Bool anyHost(char*)
{
    return True;
}

Status registerClient(SmsConn connection, SmPointer data, char* previousId)
{
    auto* state = static_cast<SessionManagerStandIn::State*>(data);
    std::free(previousId);
    char* id = SmsGenerateClientID(connection);
    if (!id)
        return 0;
    SmsRegisterClientReply(connection, id);
    std::free(id);
    state->registered = true;
    return 1;
}

void interactRequest(SmsConn connection, SmPointer, int)
{
    SmsInteract(connection);
}

void interactDone(SmsConn, SmPointer, Bool) {}

void saveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}

void saveYourselfPhase2Request(SmsConn connection, SmPointer)
{
    SmsSaveYourselfPhase2(connection);
}

void saveYourselfDone(SmsConn, SmPointer data, Bool success)
{
    auto* state = static_cast<SessionManagerStandIn::State*>(data);
    state->saveDone = true;
    state->saveSucceeded = success;
}

void closeConnection(SmsConn connection, SmPointer data, int count, char** reasons)
{
    auto* state = static_cast<SessionManagerStandIn::State*>(data);
    SmFreeReasons(count, reasons);
    IceConn ice = SmsGetIceConnection(connection);
    SmsCleanUp(connection);
    IceSetShutdownNegotiation(ice, False);
    IceCloseConnection(ice);
    std::erase(state->connections, ice);
    if (connection == state->client) {
        state->client = nullptr;
        state->clientGone = true;
    }
}

void setProperties(SmsConn, SmPointer data, int count, SmProp** properties)
{
    auto* state = static_cast<SessionManagerStandIn::State*>(data);
    for (int i = 0; i < count; ++i) {
        const SmProp* property = properties[i];
        // A CARD8 by the protocol; some clients send an int.
        if (std::strcmp(property->name, SmRestartStyleHint) == 0 && property->num_vals == 1) {
            const SmPropValue& value = property->vals[0];
            if (value.length == 1)
                state->restartStyle = static_cast<const unsigned char*>(value.value)[0];
            else if (value.length == int(sizeof(int)))
                std::memcpy(&state->restartStyle, value.value, sizeof(int));
        }
        SmFreeProperty(properties[i]);
    }
    std::free(properties);
}

void deleteProperties(SmsConn, SmPointer, int count, char** names)
{
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);
}

void getProperties(SmsConn connection, SmPointer)
{
    SmsReturnProperties(connection, 0, nullptr);
}

Status newClient(SmsConn connection, SmPointer data, unsigned long* mask, SmsCallbacks* callbacks,
                 char** failureReason)
{
    auto* state = static_cast<SessionManagerStandIn::State*>(data);
    if (state->client) {
        *failureReason = strdup("one client only");
        return 0;
    }
    state->client = connection;
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask |
            SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask |
            SmsSaveYourselfDoneProcMask | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask |
            SmsDeletePropertiesProcMask | SmsGetPropertiesProcMask;
    callbacks->register_client = {registerClient, data};
    callbacks->interact_request = {interactRequest, data};
    callbacks->interact_done = {interactDone, data};
    callbacks->save_yourself_request = {saveYourselfRequest, data};
    callbacks->save_yourself_phase2_request = {saveYourselfPhase2Request, data};
    callbacks->save_yourself_done = {saveYourselfDone, data};
    callbacks->close_connection = {closeConnection, data};
    callbacks->set_properties = {setProperties, data};
    callbacks->delete_properties = {deleteProperties, data};
    callbacks->get_properties = {getProperties, data};
    return 1;
}

} // namespace

SessionManagerStandIn::SessionManagerStandIn() : m_state(std::make_unique<State>()) {}

SessionManagerStandIn::~SessionManagerStandIn()
{
    for (IceConn ice : m_state->connections) {
        IceSetShutdownNegotiation(ice, False);
        IceCloseConnection(ice);
    }
    if (m_state->listenObjects)
        IceFreeListenObjs(m_state->listenCount, m_state->listenObjects);
}

bool SessionManagerStandIn::listen()
{
    char error[256] = {};
    if (!SmsInitialize("velmora-tests", "1.0", newClient, m_state.get(), anyHost, sizeof error,
                       error)) {
        m_state->error = QStringLiteral("SmsInitialize: %1").arg(QString::fromLocal8Bit(error));
        return false;
    }
    if (!IceListenForConnections(&m_state->listenCount, &m_state->listenObjects, sizeof error,
                                 error)) {
        m_state->error =
            QStringLiteral("IceListenForConnections: %1").arg(QString::fromLocal8Bit(error));
        return false;
    }
    // Only the Unix socket: nothing of the test's goes onto the network.
    for (int i = 0; i < m_state->listenCount; ++i) {
        IceListenObj listener = m_state->listenObjects[i];
        char* id = IceGetListenConnectionString(listener);
        const QString address = QString::fromLocal8Bit(id);
        std::free(id);
        if (!address.startsWith(QLatin1String("local/")) &&
            !address.startsWith(QLatin1String("unix/")))
            continue;
        IceSetHostBasedAuthProc(listener, anyHost);
        m_state->listeners.push_back(listener);
        if (m_state->address.isEmpty())
            m_state->address = address;
    }
    if (m_state->listeners.empty()) {
        m_state->error = QStringLiteral("no local ICE listener");
        return false;
    }
    return true;
}

QString SessionManagerStandIn::errorText() const
{
    return m_state->error;
}

QString SessionManagerStandIn::address() const
{
    return m_state->address;
}

bool SessionManagerStandIn::pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        std::vector<pollfd> descriptors;
        for (IceListenObj listener : m_state->listeners)
            descriptors.push_back({IceGetListenConnectionNumber(listener), POLLIN, 0});
        for (IceConn ice : m_state->connections)
            descriptors.push_back({IceConnectionNumber(ice), POLLIN, 0});
        if (::poll(descriptors.data(), descriptors.size(), 50) <= 0)
            continue;
        size_t index = 0;
        for (IceListenObj listener : m_state->listeners) {
            if (!(descriptors[index++].revents & POLLIN))
                continue;
            IceAcceptStatus status;
            IceConn ice = IceAcceptConnection(listener, &status);
            if (!ice)
                continue;
            // The connection setup is a few messages; bounded like everything here.
            const QDeadlineTimer setup(testtime::scaled(5000));
            while (IceConnectionStatus(ice) == IceConnectPending && !setup.hasExpired()) {
                pollfd p{IceConnectionNumber(ice), POLLIN, 0};
                if (::poll(&p, 1, 50) > 0)
                    IceProcessMessages(ice, nullptr, nullptr);
            }
            if (IceConnectionStatus(ice) == IceConnectAccepted)
                m_state->connections.push_back(ice);
            else
                IceCloseConnection(ice);
        }
        const std::vector<IceConn> connections = m_state->connections;
        for (IceConn ice : connections) {
            if (!(descriptors[index++].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            if (IceProcessMessages(ice, nullptr, nullptr) == IceProcessMessagesIOError) {
                std::erase(m_state->connections, ice);
                if (m_state->client && SmsGetIceConnection(m_state->client) == ice) {
                    SmsCleanUp(m_state->client);
                    m_state->client = nullptr;
                    m_state->clientGone = true;
                }
                IceSetShutdownNegotiation(ice, False);
                IceCloseConnection(ice);
            }
        }
    }
    return true;
}

bool SessionManagerStandIn::waitForClient(int timeoutMs)
{
    return pumpUntil([this] { return m_state->registered && m_state->client; }, timeoutMs);
}

bool SessionManagerStandIn::requestSaveForLogOff(int timeoutMs, bool* saved)
{
    if (!m_state->client)
        return false;
    m_state->saveDone = false;
    SmsSaveYourself(m_state->client, SmSaveBoth, True, SmInteractStyleAny, False);
    if (!pumpUntil([this] { return m_state->saveDone; }, timeoutMs))
        return false;
    *saved = m_state->saveSucceeded;
    return true;
}

void SessionManagerStandIn::cancelShutdown()
{
    if (m_state->client)
        SmsShutdownCancelled(m_state->client);
    pumpUntil([] { return false; }, 100);
}

void SessionManagerStandIn::die()
{
    if (m_state->client)
        SmsDie(m_state->client);
    pumpUntil([] { return false; }, 50);
}

bool SessionManagerStandIn::waitForClientGone(int timeoutMs)
{
    return pumpUntil([this] { return m_state->clientGone; }, timeoutMs);
}

int SessionManagerStandIn::restartStyle() const
{
    return m_state->restartStyle;
}
