#include "net/CrossingSample.h"

using namespace Qt::StringLiterals;

QJsonObject CrossingSample::toJson() const
{
    return { { u"x"_s, x }, { u"y"_s, y }, { u"t"_s, t } };
}
