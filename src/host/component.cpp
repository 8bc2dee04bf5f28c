// TComponent.
#include "host/component.h"

#include "host/exceptions.h"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <strings.h>

namespace kestrel {

namespace {

bool IsValidIdent(const std::string& Name) {
    if (Name.empty() || !(std::isalpha(static_cast<unsigned char>(Name[0])) || Name[0] == '_'))
        return false;
    return std::all_of(Name.begin(), Name.end(), [](char C) {
        return std::isalnum(static_cast<unsigned char>(C)) || C == '_';
    });
}

} // namespace

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner != nullptr)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FComponentState.Include(csDestroying);
    // Last created goes first, so later components may still use earlier ones while dying.
    while (!FComponents.empty()) {
        TComponent* Last = FComponents.back();
        RemoveComponent(Last);
        delete Last;
    }
    if (FOwner != nullptr)
        FOwner->RemoveComponent(this);
}

TComponent* TComponent::GetComponent(std::int64_t Index) const {
    if (Index < 0 || Index >= GetComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return FComponents[static_cast<std::size_t>(Index)];
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
    if (AName.empty())
        return nullptr;
    for (TComponent* C : FComponents)
        if (strcasecmp(C->FName.c_str(), AName.c_str()) == 0)
            return C;
    return nullptr;
}

void TComponent::SetName(const std::string& NewName) {
    if (NewName == FName)
        return;
    if (!NewName.empty() && !IsValidIdent(NewName))
        throw EComponentError("'" + NewName + "' is not a valid component name");
    if (FOwner != nullptr && FOwner->FindComponent(NewName) != nullptr &&
        strcasecmp(NewName.c_str(), FName.c_str()) != 0)
        throw EComponentError("A component named " + NewName + " already exists");
    FName = NewName;
}

void TComponent::SetDesigning(bool Value) {
    if (Value)
        FComponentState.Include(csDesigning);
    else
        FComponentState.Exclude(csDesigning);
    for (TComponent* C : FComponents)
        C->SetDesigning(Value);
}

void TComponent::BeginLoading() {
    FComponentState.Include(csLoading);
}

void TComponent::EndLoading() {
    FComponentState.Exclude(csLoading);
    Loaded();
}

void TComponent::InsertComponent(TComponent* AComponent) {
    assert(AComponent != nullptr && AComponent->FOwner == nullptr && "component already owned");
    if (!AComponent->FName.empty() && FindComponent(AComponent->FName) != nullptr)
        throw EComponentError("A component named " + AComponent->FName + " already exists");
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
    Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
    const auto It = std::find(FComponents.begin(), FComponents.end(), AComponent);
    if (It == FComponents.end())
        return;
    Notification(AComponent, opRemove);
    FComponents.erase(It);
    AComponent->FOwner = nullptr;
}

void TComponent::Notification(TComponent* /*AComponent*/, TOperation /*Operation*/) {}

} // namespace kestrel
