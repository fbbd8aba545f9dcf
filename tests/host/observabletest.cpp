#include "host/values.h"
#include "recordingobserver.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

/// Runs an action from inside Update, then records the notice.
class ActingObserver : public RecordingObserver
{
public:
    std::function<void()> action;
    void Update(Observable* subject, TChangeCode code) override
    {
        RecordingObserver::Update(subject, code);
        if (action)
            action();
    }
};

} // namespace

TEST(Observable, NoticeSkipsTheNamedObserverAndASecondRegistrationIsIgnored)
{
    values::Value<int> value;
    RecordingObserver a, b;
    value.AddObserver(&a);
    value.AddObserver(&a);
    value.AddObserver(&b);
    value.HasChanged(CHANGE_TRIGGER, &b);
    EXPECT_EQ(a.notices.size(), 1u);
    EXPECT_TRUE(b.notices.empty());
    value.DeleteObserver(&a);
    value.HasChanged(CHANGE_VALUE, nullptr);
    EXPECT_EQ(a.notices.size(), 1u);
    EXPECT_EQ(b.count(&value, CHANGE_VALUE), 1);
}

TEST(Observable, ObserverMayUnregisterItselfOrOthersOrDeleteTheSubjectDuringANotice)
{
    values::Value<int> value;
    ActingObserver first;
    RecordingObserver second, third;
    first.action = [&] {
        value.DeleteObserver(&first);
        value.DeleteObserver(&second);
    };
    value.AddObserver(&first);
    value.AddObserver(&second);
    value.AddObserver(&third);
    value.HasChanged(CHANGE_VALUE, nullptr);
    EXPECT_EQ(first.notices.size(), 1u);
    EXPECT_EQ(second.notices.size(), 0u); // removed during the notice: not told
    EXPECT_EQ(third.notices.size(), 1u);
    EXPECT_EQ(value.ObserverCount(), 1);

    auto* deleted = new values::Value<int>;
    first.action = [&] { delete deleted; };
    deleted->AddObserver(&first);
    deleted->AddObserver(&second);
    deleted->HasChanged(CHANGE_VALUE, nullptr);
    EXPECT_EQ(second.notices.size(), 0u); // the subject went during the notice
}

TEST(Value, SetValueNotifiesOnlyOnChange)
{
    values::Value<QString> value;
    RecordingObserver observer;
    value.AddObserver(&observer);
    value.SetValue(QStringLiteral("A"), nullptr);
    value.SetValue(QStringLiteral("A"), nullptr);
    EXPECT_EQ(observer.count(&value, CHANGE_VALUE), 1);
    EXPECT_EQ(value.GetValue(), QStringLiteral("A"));
}

TEST(ValueNumeric, LimitsClampLaterValuesAndAreAnnounced)
{
    values::ValueNumeric<int> value;
    RecordingObserver observer;
    value.AddObserver(&observer);
    value.SetMinMax(100, 10000, 1, nullptr);
    value.SetValue(20000, nullptr);
    EXPECT_EQ(value.GetValue(), 10000);
    EXPECT_DOUBLE_EQ(value.GetDoubleValue(), 10000.0);
    EXPECT_EQ(observer.count(&value, CHANGE_LIMITS), 1);
}

TEST(ValueSelection, SelectKnownItemNotifiesAndUnknownFails)
{
    values::ValueSelection selection;
    RecordingObserver observer;
    selection.AddObserver(&observer);
    selection.AddItem(QStringLiteral("Default"), 0.0, 0, nullptr);
    selection.AddItem(QStringLiteral("Greek"), 1.0, 1, nullptr);
    EXPECT_EQ(observer.count(&selection, CHANGE_ITEMS), 2);
    EXPECT_EQ(selection.GetStringValue(), QString());

    EXPECT_TRUE(selection.Select(QStringLiteral("Greek"), nullptr));
    EXPECT_TRUE(selection.Select(QStringLiteral("Greek"), nullptr));
    EXPECT_EQ(observer.count(&selection, CHANGE_VALUE), 2); // every select is announced
    EXPECT_FALSE(selection.Select(QStringLiteral("Hebrew"), nullptr));
    EXPECT_EQ(selection.GetStringValue(), QStringLiteral("Greek"));

    selection.DeleteItems(nullptr);
    EXPECT_TRUE(selection.GetItems().isEmpty());
    EXPECT_EQ(selection.GetStringValue(), QString());
}
