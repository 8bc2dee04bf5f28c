// TObject, the root of every class, and TPersistent, an object that can copy another's state.
#pragma once

#include <functional>
#include <string>

namespace kestrel {

/// Root of the class hierarchy: the type of every event's Sender.
class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;

    /// The name of the object's most derived class, without namespaces ("TFileStream").
    std::string ClassName() const;
};

/// The common event: something happened to Sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

/// An object whose state can be copied from another object with Assign.
class TPersistent : public TObject {
public:
    /// Copies Source's state into this object; a source this class cannot take raises
    /// EConvertError "Cannot assign a <source class> to a <target class>".
    virtual void Assign(TPersistent* Source);

protected:
    /// Copies this object's state into Dest; the last resort of Assign.
    virtual void AssignTo(TPersistent* Dest);
};

} // namespace kestrel
