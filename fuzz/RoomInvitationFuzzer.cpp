// Join links as the system or the clipboard hands them over: any text at all.
#include "model/RoomInvitation.h"

#include <QRegularExpression>

#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString link = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto invitation = RoomInvitation::parse(link);
    if (!invitation)
        return 0;
    // What an accepted link promises the rest of the program.
    static const QRegularExpression room(QRegularExpression::anchoredPattern(u"[A-Z0-9]{8,64}"_s));
    static const QRegularExpression key(
        QRegularExpression::anchoredPattern(u"[A-Za-z0-9_.-]{1,128}"_s));
    if (!room.match(invitation->room).hasMatch() || !key.match(invitation->key).hasMatch()
        || invitation->api.startsWith(u'/') || invitation->api.endsWith(u'/')
        || !(invitation->api.startsWith(u"http://"_s) || invitation->api.startsWith(u"https://"_s))
        || !(invitation->websocket.startsWith(u"ws://"_s)
            || invitation->websocket.startsWith(u"wss://"_s)))
        std::abort();
    return 0;
}
