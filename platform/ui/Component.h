// Components of the class library: ownership, names, state flags and free notification.
#pragma once

#include "platform/rtl/Classes.h"

#include <vector>

// Flags of TComponent::ComponentState.
enum TComponentStateFlag : uint32_t {
    csLoading = 1u << 0,
    csReading = 1u << 1,
    csWriting = 1u << 2,
    csDestroying = 1u << 3,
    csDesigning = 1u << 4,
    csAncestor = 1u << 5,
    csUpdating = 1u << 6,
    csFixups = 1u << 7,
    csFreeNotification = 1u << 8,
    csInline = 1u << 9,
    csDesignInstance = 1u << 10,
};
using TComponentState = uint32_t;

enum TOperation : uint8_t { opInsert, opRemove };

// A component is owned by at most one owner, which frees it when the owner is freed. Freeing a
// component removes it from its owner. Components that asked for FreeNotification of each other
// are told (Notification with opRemove) before either goes away.
//
// In C++ an owner frees its components with delete: a component with an owner is created with
// new and left to the owner; a component without one is held by its creator.
class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    int32_t ComponentCount() const { return static_cast<int32_t>(FComponents.size()); }
    TComponent* Components(int32_t Index) const;
    int32_t ComponentIndex() const;
    TComponent* FindComponent(const String& AName) const;

    const String& Name() const { return FName; }
    virtual void SetName(const String& NewName);
    intptr_t Tag = 0;

    TComponentState ComponentState() const { return FComponentState; }
    bool InState(TComponentState Flags) const { return (FComponentState & Flags) != 0; }

    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);
    // Frees every owned component, last first.
    void DestroyComponents();
    // Sets csDestroying on this component and the components it owns.
    void Destroying();

    // Asks to be told (Notification with opRemove) when AComponent is freed, and tells
    // AComponent the same way when this component is freed.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    // Design-time and streaming state as a designer or a reader sets it.
    void SetDesigning(bool Value);
    void BeginLoading() { FComponentState |= csLoading | csReading; }
    virtual void Loaded();

protected:
    // Called when AComponent is inserted into or removed from the owner's list, and when a
    // component this one asked for is freed.
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    void SetState(TComponentState Flags, bool Value);

private:
    void Insert(TComponent* AComponent);
    void Remove(TComponent* AComponent);
    void NotifyAll(TComponent* AComponent, TOperation Operation);
    void RemoveNotification(TComponent* AComponent);

    TComponent* FOwner = nullptr;
    String FName;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    TComponentState FComponentState = 0;
};

class EComponentError : public Exception {
public:
    using Exception::Exception;
};
