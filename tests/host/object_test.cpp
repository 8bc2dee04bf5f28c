// Object model: class names, Assign, component ownership and names, sets.
#include "host/component.h"
#include "host/exceptions.h"
#include "host/set.h"
#include "macros/macros.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace kestrel {
namespace {

class TPoint : public TPersistent {
public:
    int X = 0;
    void Assign(TPersistent* Source) override {
        if (auto* P = dynamic_cast<TPoint*>(Source)) {
            X = P->X;
            return;
        }
        TPersistent::Assign(Source);
    }
};
class TColour : public TPersistent {};

TEST(ObjectTest, ClassNameIsTheMostDerivedClassWithoutNamespaces) {
    TPoint P;
    TObject& O = P;
    EXPECT_EQ(O.ClassName(), "TPoint");
}

TEST(ObjectTest, AssignCopiesSupportedSourcesAndRefusesOthersByName) {
    TPoint A, B;
    B.X = 7;
    A.Assign(&B);
    EXPECT_EQ(A.X, 7);

    TColour C;
    try {
        A.Assign(&C);
        FAIL() << "no exception";
    } catch (const EConvertError& E) {
        EXPECT_STREQ(E.what(), "Cannot assign a TColour to a TPoint");
    }
    EXPECT_THROW(A.Assign(nullptr), EConvertError);
}

// Counts its destructions in a shared log.
class TTracked : public TComponent {
public:
    TTracked(TComponent* AOwner, std::vector<TTracked*>* Log) : TComponent(AOwner), FLog(Log) {}
    ~TTracked() override { FLog->push_back(this); }

private:
    std::vector<TTracked*>* FLog;
};

TEST(ComponentTest, OwnerDestroysEachOwnedComponentOnceNewestFirst) {
    std::vector<TTracked*> Destroyed;
    auto Owner = std::make_unique<TComponent>(nullptr);
    auto* A = CreateComponent<TTracked>(Owner.get(), &Destroyed);
    auto* B = CreateComponent<TTracked>(Owner.get(), &Destroyed);
    auto* Child = CreateComponent<TTracked>(A, &Destroyed); // owned by A, destroyed with it
    EXPECT_EQ(Owner->GetComponentCount(), 2);
    EXPECT_EQ(A->GetOwner(), Owner.get());
    Owner.reset();
    EXPECT_EQ(Destroyed,
              (std::vector<TTracked*>{B, A, Child})); // A's own part dies before its children
}

TEST(ComponentTest, ComponentDestroyedEarlyLeavesItsOwner) {
    std::vector<TTracked*> Destroyed;
    TComponent Owner(nullptr);
    std::unique_ptr<TTracked> Early(CreateComponent<TTracked>(&Owner, &Destroyed));
    Early.reset();
    EXPECT_EQ(Owner.GetComponentCount(), 0);
    EXPECT_EQ(Destroyed.size(), 1u);
}

TEST(ComponentTest, NamesAreIdentifiersUniqueAmongSiblings) {
    TComponent Owner(nullptr);
    auto* A = CreateComponent<TComponent>(&Owner);
    auto* B = CreateComponent<TComponent>(&Owner);
    A->SetName("Viewer1");
    EXPECT_EQ(Owner.FindComponent("viewer1"), A);
    try {
        B->SetName("VIEWER1");
        FAIL() << "no exception";
    } catch (const EComponentError& E) {
        EXPECT_STREQ(E.what(), "A component named VIEWER1 already exists");
    }
    EXPECT_THROW(B->SetName("1abc"), EComponentError);
    A->SetName("viewer1"); // a change of case of its own name is fine
    EXPECT_EQ(A->GetName(), "viewer1");
    EXPECT_THROW(Owner.GetComponent(2), EListError);
}

TEST(ComponentTest, DesigningReachesOwnedComponentsAndLoadingBracketsLoaded) {
    class TLoader : public TComponent {
    public:
        using TComponent::TComponent;
        bool WasLoaded = false;
        bool LoadingDuringLoaded = true;

    protected:
        void Loaded() override {
            WasLoaded = true;
            LoadingDuringLoaded = GetComponentState().Contains(csLoading);
        }
    };
    TComponent Owner(nullptr);
    auto* L = CreateComponent<TLoader>(&Owner);
    Owner.SetDesigning(true);
    EXPECT_TRUE(L->GetComponentState().Contains(csDesigning));
    L->BeginLoading();
    EXPECT_TRUE(L->GetComponentState().Contains(csLoading));
    L->EndLoading();
    EXPECT_TRUE(L->WasLoaded);
    EXPECT_FALSE(L->LoadingDuringLoaded);
}

enum TColours : std::uint8_t { cRed, cGreen, cBlue, cHigh = 63 };

TEST(SetTest, SetOperationsFollowTheFrameworkOperators) {
    using TColourSet = TSet<TColours>;
    TColourSet S{cRed, cHigh};
    EXPECT_TRUE(S.Contains(cRed));
    EXPECT_TRUE(S.Contains(cHigh));
    EXPECT_FALSE(S.Contains(cGreen));
    EXPECT_EQ(S.Count(), 2);
    S.Include(cGreen).Exclude(cRed);
    EXPECT_EQ(S, (TColourSet{cGreen, cHigh}));
    EXPECT_EQ(S + TColourSet{cBlue}, (TColourSet{cGreen, cBlue, cHigh}));
    EXPECT_EQ(S - TColourSet{cHigh}, TColourSet{cGreen});
    EXPECT_EQ(S * (TColourSet{cHigh, cRed}), TColourSet{cHigh});
    EXPECT_TRUE((S - S).Empty());
    EXPECT_EQ(TColourSet::FromBits(S.ToBits()), S);
}

static_assert(min(-3, 2) == -3 && max(-3, 2) == 2);
static_assert(MaxLong(std::int64_t{1} << 40, 5) == std::int64_t{1} << 40 && MinLong(7, 7) == 7);

} // namespace
} // namespace kestrel
