#pragma once

#include "http/HttpReply.h"

#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <QHostAddress>

#include <memory>
#include <optional>

class HttpListener;

// One client's HTTP connection, on the I/O thread: reads one request at a time within the
// listener's limits, hands it over and writes the reply. Refused requests get their status
// (400, 408, 413, 431) and the connection is closed after a bounded drain, so a client that
// keeps sending cannot make the server read or buffer much of it.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(boost::asio::ip::tcp::socket socket, HttpListener &listener);
    ~HttpSession();
    HttpSession(const HttpSession &) = delete;
    HttpSession &operator=(const HttpSession &) = delete;

    void start();
    // Closes the connection now when it waits for a new request; otherwise after its reply.
    void stop();
    // Thread-safe: the answer to the request handed over.
    void reply(HttpReply reply);

private:
    using Parser = boost::beast::http::request_parser<boost::beast::http::string_body>;

    void awaitRequest();
    void readHeader();
    // The whole request must arrive by then; a timer of our own rather than the stream's,
    // which would close the socket before a 408 could be written.
    void startRequestClock();
    void onHeader(boost::beast::error_code error);
    void onRequest(boost::beast::error_code error);
    void refuseRead(boost::beast::error_code error);
    void send(const HttpReply &reply, bool keepAlive);
    void refuse(int status, const char *message);
    void drain();
    void close();

    boost::beast::tcp_stream m_stream;
    boost::beast::flat_buffer m_buffer;
    boost::asio::steady_timer m_requestClock;
    bool m_timedOut = false;
    std::optional<Parser> m_parser;
    HttpListener &m_listener;
    QHostAddress m_peer;
    unsigned m_version = 11;
    bool m_keepAlive = true;
    bool m_idle = false;
    bool m_counted = true;
    std::size_t m_drained = 0;
};
