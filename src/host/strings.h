// TStrings, the abstract list of strings, and TStringList, the list held in memory.
#pragma once

#include "host/object.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

class TStream;

/// A list of strings. Descendants provide Get, GetCount, Insert, Delete and Clear; everything
/// else is built on them. Text joins the strings with CR LF after each one and splits on CR LF
/// or LF.
class TStrings : public TPersistent {
public:
    virtual std::string Get(std::int64_t Index) const = 0;
    virtual std::int64_t GetCount() const = 0;
    virtual void Put(std::int64_t Index, const std::string& S);
    virtual void Insert(std::int64_t Index, const std::string& S) = 0;
    virtual void Delete(std::int64_t Index) = 0;
    virtual void Clear() = 0;

    /// Appends S and returns its index.
    virtual std::int64_t Add(const std::string& S);
    void AddStrings(TStrings* Strings);
    /// The index of the first string equal to S (case-insensitive), or -1.
    std::int64_t IndexOf(const std::string& S) const;

    std::string GetStrings(std::int64_t Index) const { return Get(Index); }
    void SetStrings(std::int64_t Index, const std::string& S) { Put(Index, S); }

    virtual std::string GetText() const;
    virtual void SetText(const std::string& Text);

    /// Replaces the strings with the lines of Stream from its position to its end.
    virtual void LoadFromStream(TStream* Stream);
    virtual void SaveToStream(TStream* Stream);
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName);

    void BeginUpdate();
    void EndUpdate();

    void Assign(TPersistent* Source) override;

protected:
    /// Keeps the list in an update run for the lifetime of the scope.
    class TUpdateScope {
    public:
        explicit TUpdateScope(TStrings& Strings) : FStrings(Strings) { FStrings.BeginUpdate(); }
        ~TUpdateScope() { FStrings.EndUpdate(); }
        TUpdateScope(const TUpdateScope&) = delete;
        TUpdateScope& operator=(const TUpdateScope&) = delete;

    private:
        TStrings& FStrings;
    };

    /// Told when a run of changes begins (True) and ends (False).
    virtual void SetUpdateState(bool /*Updating*/) {}
    [[noreturn]] void Error(const std::string& Message, std::int64_t Data) const;

private:
    int FUpdateCount = 0;
};

/// Strings held in memory.
class TStringList : public TStrings {
public:
    std::string Get(std::int64_t Index) const override;
    std::int64_t GetCount() const override { return static_cast<std::int64_t>(FList.size()); }
    void Put(std::int64_t Index, const std::string& S) override;
    void Insert(std::int64_t Index, const std::string& S) override;
    void Delete(std::int64_t Index) override;
    void Clear() override { FList.clear(); }

private:
    void CheckIndex(std::int64_t Index, std::int64_t Limit) const;

    std::vector<std::string> FList;
};

/// Splits Text into lines at CR LF or LF; a final line break adds no empty line.
std::vector<std::string> SplitLines(const std::string& Text);

} // namespace kestrel
