#include "scene/BallContactListener.h"

#include <box2d/b2_contact.h>
#include <box2d/b2_fixture.h>

void BallContactListener::BeginContact(b2Contact *contact)
{
    const auto a = contact->GetFixtureA()->GetFilterData().categoryBits;
    const auto b = contact->GetFixtureB()->GetFilterData().categoryBits;
    const bool ballMeetsSolid
        = (a == ballCategory && b == solidCategory) || (a == solidCategory && b == ballCategory);
    if (ballMeetsSolid && onBallContact)
        onBallContact();
}
