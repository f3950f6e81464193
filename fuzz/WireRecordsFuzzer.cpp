// Every wire record, as an object and as a list, and the server timestamp reader, on one input.
#include "wire/AuthReply.h"
#include "wire/ConnectionInfo.h"
#include "wire/Entry.h"
#include "wire/Hoop.h"
#include "wire/Member.h"
#include "wire/Player.h"
#include "wire/Room.h"
#include "wire/Round.h"
#include "wire/Score.h"
#include "wire/Snapshot.h"
#include "wire/Timestamp.h"
#include "wire/Totals.h"
#include "net/WireDocument.h"

#include <cstdint>
#include <cstdlib>

namespace {

// The body is parsed once and handed to each reader, as WireDocument::read does for one.
template <typename... R> void readEveryRecord(const QJsonDocument &document)
{
    ((void)WireDocument::detail::Reader<R>::read(document), ...);
    ((void)WireDocument::detail::Reader<QList<R>>::read(document), ...);
}

// An entry is also written into request bodies: what was read must read back unchanged.
void checkEntryRoundTrip(const QJsonDocument &document)
{
    const auto entry = WireDocument::detail::Reader<Entry>::read(document);
    if (!entry)
        return;
    const QByteArray written = QJsonDocument(entry->toJson()).toJson(QJsonDocument::Compact);
    const auto reread = WireDocument::read<Entry>(written);
    if (!reread || !(*reread == *entry))
        std::abort();
}

// A time the reader accepts is written back in the server's form and read as the same instant,
// for the years that form can hold.
void checkTimestamp(const QByteArray &bytes)
{
    const auto time = Timestamp::parse(QString::fromUtf8(bytes));
    if (!time)
        return;
    if (!time->isValid())
        std::abort();
    const int year = time->toUTC().date().year();
    if (year < 1 || year > 9999)
        return;
    const auto reread = Timestamp::parse(Timestamp::format(*time));
    if (!reread || *reread != *time)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkTimestamp(bytes);
    const auto document = WireDocument::detail::parse(bytes);
    if (!document)
        return 0;
    readEveryRecord<Player, Room, Member, Snapshot, Round, Score, Totals, Entry, Hoop, AuthReply,
        ConnectionInfo>(*document);
    checkEntryRoundTrip(*document);
    return 0;
}
