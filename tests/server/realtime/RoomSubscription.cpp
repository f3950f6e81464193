#include "RoomSubscription.h"

#include "ApiClient.h"
#include "TestServer.h"
#include "WireClient.h"
#include "WireFrames.h"

using namespace Qt::StringLiterals;

bool subscribeToRoom(WireClient &client, const QUrl &wsBase, const ApiClient &api, qint64 room,
    const QByteArray &token)
{
    const QString socketId = client.connectAndGreet(
        WireClient::channelUrl(wsBase, QString::fromLatin1(TestServer::appKey)));
    const QString channel = u"private-room."_s + QString::number(room);
    const ApiClient::Reply auth = api.post(u"broadcasting/auth"_s,
        { { u"socket_id"_s, socketId }, { u"channel_name"_s, channel } }, token);
    if (socketId.isEmpty() || auth.status != 200)
        return false;
    client.send(WireFrames::subscribe(channel, auth.object()[u"auth"_s].toString()));
    return client.next() == WireFrames::subscriptionSucceeded(channel);
}
