#pragma once
// The TCP link with RealTraffic when it runs on this computer: the program listens, RealTraffic
// connects, the program asks for its version and from then on sends it the user aircraft's state
// ("Qs121=") and, to the professional edition, the simulator time ("Qs123="); "exit" ends the link.
// Lines end in "\r\n". Everything here runs on the worker thread.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "feed/feed_state.h"
#include "platform/net/socket.h"

class RealTrafficLink {
public:
    net::SocketHandle rtListenSocket = net::invalidSocket;
    net::SocketHandle rtClientSocket = net::invalidSocket;
    // A client is accepted and usable.
    std::atomic<bool> rtClientConnected{false};
    // The peer reported level 2 (professional edition).
    std::atomic<bool> rtProfessional{false};

    // Opens the listening socket on the port text. Throws std::runtime_error ("Bind failed at port
    // {port} with error {code text}", ...). Port "0" lets the system choose (see serverPort).
    void startServer(const std::string& port);
    // Waits for RealTraffic to connect. False at once when a client is connected already, when the
    // accept fails, or when a stop or close is requested while waiting (tested at least once a second).
    bool waitForClient();
    // Takes a connection that is already waiting, without waiting for one. True when one was taken.
    bool takeWaitingClient();
    // The reply to a request: read until its line ends, it is a whole JSON document or the peer closes,
    // within 10 seconds and 16383 bytes; what came so far when the time is up. Empty on failure, on a
    // longer reply, or when a stop is requested meanwhile.
    std::string receive();
    // One send of the whole text, without waiting for room in the link's buffers. When it fails (or
    // the peer has stopped reading and the text does not fit) the client socket is closed and false
    // returned.
    bool sendDataPacket(std::string_view text);
    // Sends "exit" to a connected client, closes both sockets and clears rtClientConnected, so that the
    // next run waits for RealTraffic again and repeats the version handshake.
    void close();

    // The port of the listening socket (0 when there is none).
    std::uint16_t serverPort() const;

private:
    bool acceptClient();
    void closeClient();
    bool winsockStarted_ = false;
};

extern RealTrafficLink realTrafficLink;

// The start-of-run handshake (only when RealTraffic is local): waits for RealTraffic, asks for its
// version and shows the link as connected. A peer that is gone before the version request could be
// sent is waited for again.
void gf_awaitRTConnection();

// Takes RealTraffic's reply to the version request as the handshake does: the edition and version
// for the status, or a logged parse failure. Never throws.
void gf_readVersionReply(std::string_view reply);
// "Qs123=" with the time in milliseconds, when a client is connected and the time is at least 1. A
// failed send counts as RealTraffic gone, as for the user line.
void gf_sendSimTime(std::int64_t unixSeconds);
// The "Qs121=" line of the user aircraft's state (only when RealTraffic is local and the user has a
// position). When the send fails the live traffic is removed and the feed reset; when no client is
// connected (and no stop requested) it takes a connection of RealTraffic that is waiting, without a new
// version request, and never waits for one.
void gf_sendUserState();
// The "Qs121=" line for a state, without its line end.
std::string gf_userStateLine(const RtUserState& state);
// The closing down of the link: "exit" to a connected client, both sockets closed.
void gf_closeRealTrafficLink();
