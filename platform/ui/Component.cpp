// Component ownership and free notification.
#include "platform/ui/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    Destroying();
    // Each partner forgets this component before it goes.
    while (!FFreeNotifies.empty()) {
        TComponent* partner = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        partner->RemoveNotification(this);
        partner->Notification(this, opRemove);
    }
    DestroyComponents();
    if (FOwner != nullptr) FOwner->RemoveComponent(this);
}

TComponent* TComponent::Components(int32_t Index) const {
    if (Index < 0 || Index >= ComponentCount())
        throw EListError(u"List index out of bounds (" + IntToStr(Index) + u")");
    return FComponents[static_cast<size_t>(Index)];
}

int32_t TComponent::ComponentIndex() const {
    if (FOwner == nullptr) return -1;
    const auto& list = FOwner->FComponents;
    return static_cast<int32_t>(std::find(list.begin(), list.end(), this) - list.begin());
}

namespace {
bool SameText(const String& A, const String& B) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(),
                                              [&](auto x, auto y) { return lower(x) == lower(y); });
}
} // namespace

TComponent* TComponent::FindComponent(const String& AName) const {
    if (AName.empty()) return nullptr;
    for (TComponent* c : FComponents)
        if (SameText(c->FName, AName)) return c;
    return nullptr;
}

void TComponent::SetName(const String& NewName) {
    if (NewName == FName) return;
    if (FOwner != nullptr && !NewName.empty()) {
        TComponent* other = FOwner->FindComponent(NewName);
        if (other != nullptr && other != this)
            throw EComponentError(u"A component named " + NewName + u" already exists");
    }
    FName = NewName;
}

void TComponent::InsertComponent(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent->FOwner == this) return;
    if (!AComponent->FName.empty() && FindComponent(AComponent->FName) != nullptr)
        throw EComponentError(u"A component named " + AComponent->FName + u" already exists");
    if (AComponent->FOwner != nullptr) AComponent->FOwner->RemoveComponent(AComponent);
    Insert(AComponent);
    if (InState(csDesigning)) AComponent->SetDesigning(true);
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent->FOwner != this) return;
    Notification(AComponent, opRemove);
    Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
    std::erase(FComponents, AComponent);
    AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* instance = FComponents.back();
        // Only a component that asked for notifications is announced to the others.
        if (instance->InState(csFreeNotification))
            RemoveComponent(instance);
        else
            Remove(instance);
        delete instance;
    }
}

void TComponent::Destroying() {
    if (InState(csDestroying)) return;
    FComponentState |= csDestroying;
    for (TComponent* c : FComponents)
        c->Destroying();
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove && AComponent != nullptr) RemoveFreeNotification(AComponent);
    NotifyAll(AComponent, Operation);
}

void TComponent::NotifyAll(TComponent* AComponent, TOperation Operation) {
    // A handler may free components of the list: walk a copy, skipping the ones gone.
    const std::vector<TComponent*> owned = FComponents;
    for (TComponent* c : owned)
        if (std::find(FComponents.begin(), FComponents.end(), c) != FComponents.end())
            c->Notification(AComponent, Operation);
}

void TComponent::FreeNotification(TComponent* AComponent) {
    if (AComponent == nullptr || AComponent == this) return;
    // Components of one owner already hear of each other through the owner.
    if (FOwner == nullptr || AComponent->FOwner != FOwner) {
        if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) ==
            FFreeNotifies.end()) {
            FFreeNotifies.push_back(AComponent);
            AComponent->FreeNotification(this);
        }
    }
    FComponentState |= csFreeNotification;
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
    RemoveNotification(AComponent);
    AComponent->RemoveNotification(this);
}

void TComponent::RemoveNotification(TComponent* AComponent) {
    std::erase(FFreeNotifies, AComponent);
}

void TComponent::SetDesigning(bool Value) {
    SetState(csDesigning, Value);
    for (TComponent* c : FComponents)
        c->SetDesigning(Value);
}

void TComponent::Loaded() {
    FComponentState &= ~(csLoading | csReading);
}

void TComponent::SetState(TComponentState Flags, bool Value) {
    if (Value)
        FComponentState |= Flags;
    else
        FComponentState &= ~Flags;
}
