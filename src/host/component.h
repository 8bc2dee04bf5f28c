// TComponent: a named object that owns the components created with it as their owner.
#pragma once

#include "host/object.h"
#include "host/set.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrel {

enum TComponentStateFlag : std::uint8_t {
    csLoading,
    csReading,
    csWriting,
    csDestroying,
    csDesigning,
    csAncestor,
    csUpdating,
};
using TComponentState = TSet<TComponentStateFlag>;

enum TOperation : std::uint8_t { opInsert, opRemove };

/// A component is destroyed by its owner, exactly once, when the owner is destroyed; a component
/// destroyed earlier leaves its owner's list first. Create owned components with CreateComponent,
/// unowned ones with std::make_unique.
class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent* GetOwner() const { return FOwner; }
    std::int64_t GetComponentCount() const { return static_cast<std::int64_t>(FComponents.size()); }
    TComponent* GetComponent(std::int64_t Index) const;
    /// The owned component with this name (case-insensitive), or nullptr.
    TComponent* FindComponent(const std::string& AName) const;

    const std::string& GetName() const { return FName; }
    /// Raises EComponentError for a name that is not an identifier or is taken by a sibling.
    virtual void SetName(const std::string& NewName);

    TComponentState GetComponentState() const { return FComponentState; }
    /// Puts the component and everything it owns into or out of design mode.
    void SetDesigning(bool Value);
    /// Brackets the reading of stored properties: csLoading is set in between, Loaded runs after.
    void BeginLoading();
    void EndLoading();

    std::int64_t GetTag() const { return FTag; }
    void SetTag(std::int64_t Value) { FTag = Value; }

    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);

protected:
    /// Runs once the stored properties have been read.
    virtual void Loaded() {}
    /// Told when a component is added to or removed from this owner.
    virtual void Notification(TComponent* AComponent, TOperation Operation);

private:
    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents; // owned; each entry's FOwner is this
    std::string FName;
    TComponentState FComponentState;
    std::int64_t FTag = 0;
};

/// Creates a component owned by AOwner (which destroys it) and returns it.
template <typename T, typename... Args> T* CreateComponent(TComponent* AOwner, Args&&... args) {
    static_assert(std::is_base_of_v<TComponent, T>);
    return new T(AOwner, std::forward<Args>(args)...); // the owner's destructor deletes it
}

} // namespace kestrel
