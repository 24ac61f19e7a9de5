// Component ownership, names and free notification.
#include "platform/ui/Component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every notification it receives, and its own destruction, into a shared log. The
// component told about is named by its Name: a component on its way out is no longer a TProbe.
class TProbe : public TComponent {
public:
    TProbe(TComponent* AOwner, std::string AId, std::vector<std::string>& ALog)
        : TComponent(AOwner), Id(std::move(AId)), Log(ALog) {
        SetName(StrFromUtf8(Id));
    }
    ~TProbe() override { Log.push_back("free " + Id); }
    std::string Id;
    std::vector<std::string>& Log;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        Log.push_back(Id + (Operation == opInsert ? " +" : " -") + Utf8FromStr(AComponent->Name()));
    }
};

TEST(Component, OwnerFreesItsComponentsLastFirstAndFreeingLeavesTheOwner) {
    std::vector<std::string> log;
    auto owner = std::make_unique<TProbe>(nullptr, "owner", log);
    auto* a = new TProbe(owner.get(), "a", log);
    new TProbe(owner.get(), "b", log);
    auto* c = new TProbe(owner.get(), "c", log);
    EXPECT_EQ(owner->ComponentCount(), 3);
    EXPECT_EQ(c->ComponentIndex(), 2);
    EXPECT_EQ(a->Owner(), owner.get());

    log.clear();
    delete a; // leaves the owner, which tells every remaining component
    EXPECT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(log, (std::vector<std::string>{"free a", "b -a", "c -a", "owner -a"}));

    // The owner frees the rest last first; only those that asked are announced (and c, which
    // asked to hear of the owner, hears of it first).
    log.clear();
    c->FreeNotification(owner.get());
    owner.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"free owner", "c -owner", "b -c", "c -c", "free c",
                                             "free b"}));
}

TEST(Component, FreeNotificationWorksBothWaysAcrossOwners) {
    std::vector<std::string> log;
    auto x = std::make_unique<TProbe>(nullptr, "x", log);
    auto y = std::make_unique<TProbe>(nullptr, "y", log);
    EXPECT_EQ(x->ComponentState(), 0u);
    x->FreeNotification(y.get());
    EXPECT_EQ(x->ComponentState(), TComponentState(csFreeNotification));
    y.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"free y", "x -y"}));

    // Removed again, nothing is said any more.
    auto z = std::make_unique<TProbe>(nullptr, "z", log);
    x->FreeNotification(z.get());
    x->RemoveFreeNotification(z.get());
    log.clear();
    z.reset();
    x.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"free z", "free x"}));
}

TEST(Component, StateFlagsNamesAndDesigning) {
    TComponent owner(nullptr);
    auto* child = new TComponent(&owner);
    child->SetName(u"Viewer");
    EXPECT_EQ(owner.FindComponent(u"viewer"), child);
    auto* other = new TComponent(&owner);
    EXPECT_THROW(other->SetName(u"VIEWER"), EComponentError);
    owner.SetDesigning(true);
    EXPECT_TRUE(child->InState(csDesigning));
    auto* late = new TComponent(&owner);
    EXPECT_TRUE(late->InState(csDesigning)); // inserted into a designing owner
    late->BeginLoading();
    EXPECT_TRUE(late->InState(csLoading | csReading));
    late->Loaded();
    EXPECT_FALSE(late->InState(csLoading | csReading));
    EXPECT_THROW(owner.Components(3), EListError);
}

} // namespace
