// A session manager of the smallest kind, for the e2e tests: answers on its local ICE sockets, prints
// the SESSION_MANAGER value on its first line, accepts every client, and on each line "save" read
// from standard input asks every registered client to save as at logout (SaveYourself: both
// kinds, shutdown, no interaction). It prints "registered", "save-done" and "closed" as clients
// do those, and "restart" with the command a client would be restarted with. It never sends Die: a client that ends does so by itself.

#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<SmsConn> g_clients;
std::vector<IceConn> g_connections;

void say(const char *what)
{
    std::printf("%s\n", what);
    std::fflush(stdout);
}

Status registerClient(SmsConn conn, SmPointer, char *previousId)
{
    std::free(previousId);
    char *id = SmsGenerateClientID(conn);
    static char fallback[] = "1quorvele2e";
    SmsRegisterClientReply(conn, id ? id : fallback);
    std::free(id);
    g_clients.push_back(conn);
    say("registered");
    return 1;
}

void saveYourselfDone(SmsConn, SmPointer, Bool) { say("save-done"); }

void closeConnection(SmsConn conn, SmPointer, int count, char **reasons)
{
    SmFreeReasons(count, reasons);
    g_clients.erase(std::remove(g_clients.begin(), g_clients.end(), conn), g_clients.end());
    SmsCleanUp(conn);
    say("closed");
}

void interactRequest(SmsConn conn, SmPointer, int) { SmsInteract(conn); }
void interactDone(SmsConn, SmPointer, Bool) {}
void saveYourselfRequest(SmsConn, SmPointer, int, Bool, int, Bool, Bool) {}
void phase2Request(SmsConn conn, SmPointer) { SmsSaveYourselfPhase2(conn); }
void setProperties(SmsConn, SmPointer, int count, SmProp **props)
{
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(props[i]->name, SmRestartCommand) == 0) {
            std::string line = "restart";
            for (int v = 0; v < props[i]->num_vals; ++v)
                line.append(" ").append(static_cast<const char *>(props[i]->vals[v].value), size_t(props[i]->vals[v].length));
            say(line.c_str());
        }
        SmFreeProperty(props[i]);
    }
    std::free(props);
}
void deleteProperties(SmsConn, SmPointer, int count, char **names)
{
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);
}
void getProperties(SmsConn conn, SmPointer) { SmsReturnProperties(conn, 0, nullptr); }

Status newClient(SmsConn, SmPointer, unsigned long *mask, SmsCallbacks *cb, char **)
{
    std::memset(cb, 0, sizeof *cb);
    cb->register_client.callback = registerClient;
    cb->interact_request.callback = interactRequest;
    cb->interact_done.callback = interactDone;
    cb->save_yourself_request.callback = saveYourselfRequest;
    cb->save_yourself_phase2_request.callback = phase2Request;
    cb->save_yourself_done.callback = saveYourselfDone;
    cb->close_connection.callback = closeConnection;
    cb->set_properties.callback = setProperties;
    cb->delete_properties.callback = deleteProperties;
    cb->get_properties.callback = getProperties;
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask
        | SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask
        | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask
        | SmsGetPropertiesProcMask;
    return 1;
}

Bool anyHost(char *) { return True; }

} // namespace

int main()
{
    char error[256] = "";
    if (!SmsInitialize("quorvel-e2e", "1", newClient, nullptr, anyHost, sizeof error, error)) {
        std::fprintf(stderr, "SmsInitialize: %s\n", error);
        return 1;
    }
    int all = 0;
    IceListenObj *every = nullptr;
    if (!IceListenForConnections(&all, &every, sizeof error, error)) {
        std::fprintf(stderr, "IceListenForConnections: %s\n", error);
        return 1;
    }
    // Only the local sockets are told and answered: nothing from the network comes in.
    std::vector<IceListenObj> local;
    for (int i = 0; i < all; ++i) {
        char *id = IceGetListenConnectionString(every[i]);
        if (std::strncmp(id, "tcp/", 4) != 0) {
            IceSetHostBasedAuthProc(every[i], anyHost);
            local.push_back(every[i]);
        }
        std::free(id);
    }
    const int count = int(local.size());
    IceListenObj *listeners = local.data();
    if (count == 0) {
        std::fprintf(stderr, "no local ICE socket\n");
        return 1;
    }
    char *ids = IceComposeNetworkIdList(count, listeners);
    say(ids);
    std::free(ids);

    std::string input;
    for (;;) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        for (int i = 0; i < count; ++i)
            fds.push_back({IceGetListenConnectionNumber(listeners[i]), POLLIN, 0});
        for (IceConn c : g_connections)
            fds.push_back({IceConnectionNumber(c), POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents) {
            char bytes[256];
            const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
            if (n <= 0)
                return 0; // the test has gone
            input.append(bytes, size_t(n));
            for (size_t eol; (eol = input.find('\n')) != std::string::npos; input.erase(0, eol + 1)) {
                if (input.compare(0, eol, "save") == 0)
                    for (SmsConn c : g_clients)
                        SmsSaveYourself(c, SmSaveBoth, True, SmInteractStyleNone, False);
            }
        }
        for (int i = 0; i < count; ++i) {
            if (fds[size_t(1 + i)].revents) {
                IceAcceptStatus status;
                if (IceConn c = IceAcceptConnection(listeners[i], &status))
                    g_connections.push_back(c);
            }
        }
        const std::vector<IceConn> open = g_connections;
        for (size_t i = 0; i < open.size(); ++i) {
            if (!fds[size_t(1 + count) + i].revents)
                continue;
            if (IceProcessMessages(open[i], nullptr, nullptr) == IceProcessMessagesIOError) {
                IceSetShutdownNegotiation(open[i], False);
                IceCloseConnection(open[i]);
                g_connections.erase(std::remove(g_connections.begin(), g_connections.end(), open[i]),
                                    g_connections.end());
            }
        }
    }
}
