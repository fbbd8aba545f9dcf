#include "recordingobserver.h"
#include "treefixture.h"

using TreeBehaviour = TreeTest;

TEST_F(TreeBehaviour, InsertedValueIsFoundByItsPathAndATakenNameIsRefused)
{
    auto* value = new values::Value<bool>;
    value->SetName(QStringLiteral("Available"), nullptr);
    ASSERT_TRUE(values::Tree::Instance()->InsertValue(QStringLiteral("/Morse/"), value));
    EXPECT_EQ(values::Tree::Instance()->FindValue(QStringLiteral("/Morse/Available")), value);
    EXPECT_EQ(values::Tree::Instance()->FindValue(QStringLiteral("/Morse/Other")), nullptr);
    values::Value<QString> other; // the caller keeps it
    other.SetName(QStringLiteral("Available"), nullptr);
    EXPECT_FALSE(values::Tree::Instance()->InsertValue(QStringLiteral("/Morse/"), &other));
    // A path holding another type does not narrow.
    EXPECT_EQ(add<values::Value<QString>>(QStringLiteral("/Morse/Available")), nullptr);
}

TEST_F(TreeBehaviour, RemovingAValueSendsTheGoingAwayNoticeFirst)
{
    auto* value = add<values::Value<int>>(QStringLiteral("/A/B"));
    struct Forgetting : IObserver
    {
        values::ValueBase* held = nullptr;
        TValueState seen = VALUE_STATE_NORMAL;
        void Update(Observable* subject, TChangeCode code) override
        {
            if (subject == held && code == CHANGE_STATE) {
                seen = held->GetState();
                held->DeleteObserver(this);
                held = nullptr;
            }
        }
    } observer;
    observer.held = value;
    value->AddObserver(&observer);

    EXPECT_TRUE(values::Tree::Instance()->RemoveValue(QStringLiteral("/A/B")));
    EXPECT_EQ(observer.seen, VALUE_STATE_GOING_AWAY);
    EXPECT_EQ(observer.held, nullptr);
    EXPECT_FALSE(values::Tree::Instance()->RemoveValue(QStringLiteral("/A/B")));
}

TEST_F(TreeBehaviour, ClearRemovesEveryValueNewestFirst)
{
    auto* first = add<values::Value<int>>(QStringLiteral("/x/first"));
    auto* second = add<values::Value<int>>(QStringLiteral("/x/second"));
    RecordingObserver observer;
    first->AddObserver(&observer);
    second->AddObserver(&observer);
    values::Tree::Instance()->Clear();
    ASSERT_EQ(observer.notices.size(), 2u);
    EXPECT_EQ(observer.notices[0].first, static_cast<Observable*>(second));
    EXPECT_EQ(observer.notices[1].first, static_cast<Observable*>(first));
    EXPECT_TRUE(values::Tree::Instance()->Paths().isEmpty());
}
