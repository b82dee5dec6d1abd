// "undo" after an answer was typed into the note: the id and target checks, the field the user
// changed since, the return to the source application first, and the errors that carry the
// answer so the app can still offer it.
#include "tests/host/controller_fixture.h"

namespace lumora {
namespace {

using namespace controller_testing;
using nlohmann::json;

class UndoTest : public ControllerTest {
  protected:
    void SetUp() override {
        load(notesWorld({classifierSays("none"), modelSays("0|Roses are red.", 4)}));
        ask("Write a line about roses");
        ASSERT_EQ(field("body"), "Dear Ada, Roses are red.") << json(events).dump(1);
        ASSERT_TRUE(events.back()["canUndo"]);
        events.clear();
    }

    void undo(std::uint64_t id, bool restore = false) {
        send({{"command", "undo"}, {"id", id}, {"restore", restore}});
        settle();
    }
};

TEST_F(UndoTest, TakesTheAnswerBackOutOnceThenHasNothingLeftToUndo) {
    undo(2);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["phase"], "result");
    EXPECT_EQ(events[0]["message"], "Change undone");
    EXPECT_EQ(events[0]["text"], "");
    EXPECT_EQ(events[0]["action"], "undone");
    EXPECT_FALSE(events[0]["canUndo"]);
    EXPECT_EQ(field("body"), "Dear Ada, ");
    EXPECT_EQ(sim->desktop->field("body")->selection.location, 10);

    undo(2);
    EXPECT_EQ(events.size(), 1u);
}

TEST_F(UndoTest, AnotherSessionsIdChangesNothing) {
    undo(1);
    undo(3);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(field("body"), "Dear Ada, Roses are red.");
}

TEST_F(UndoTest, AFieldChangedSinceTheAnswerKeepsTheUsersTextAndOffersTheAnswer) {
    sim->desktop->editField("body", "Dear Ada, Roses are red. Yours,", {31, 0});
    undo(2);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["message"], "The field changed. Undo is no longer available.");
    EXPECT_EQ(events[0]["text"], "Roses are red.");
    EXPECT_EQ(events[0]["action"], "undo_unavailable");
    EXPECT_FALSE(events[0]["canUndo"]);
    EXPECT_EQ(field("body"), "Dear Ada, Roses are red. Yours,");

    // The edit is forgotten, not merely refused: putting the text back does not revive it.
    sim->desktop->editField("body", "Dear Ada, Roses are red.", {24, 0});
    undo(2);
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(field("body"), "Dear Ada, Roses are red.");
}

TEST_F(UndoTest, FromTheLumoraWindowItBringsNotesBackThenUndoesAMomentLater) {
    sim->desktop->setFrontmost(100);
    undo(2, true);
    EXPECT_EQ(sim->desktop->activatedApplications(), (std::vector<pid_t>{200}));
    EXPECT_TRUE(events.empty());

    advance(0.17);
    EXPECT_TRUE(events.empty());
    advance(0.01);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["action"], "undone");
    EXPECT_EQ(field("body"), "Dear Ada, ");
}

TEST_F(UndoTest, ANewSessionDuringTheMomentSilencesTheUndo) {
    sim->desktop->setFrontmost(100);
    undo(2, true);
    send({{"command", "cancel"}, {"id", 3}});
    advance(0.2);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["phase"], "idle");
    EXPECT_EQ(field("body"), "Dear Ada, Roses are red.");
}

// "cancel" stops an undo still waiting for the source app, even when it keeps the session id.
TEST_F(UndoTest, ACancelStopsAnUndoStillWaitingForTheSourceApp) {
    for (bool restore : {true, false}) {
        events.clear();
        // Both arrive before the loop turns again.
        send({{"command", "undo"}, {"id", 2}, {"restore", restore}});
        send({{"command", "cancel"}, {"id", 2}});
        advance(1.0);
        ASSERT_EQ(events.size(), 1u) << restore;
        EXPECT_EQ(events[0]["phase"], "idle");
        EXPECT_EQ(field("body"), "Dear Ada, Roses are red.");
    }
}

TEST_F(UndoTest, WithNotesStillBehindTheUndoIsRefusedAndTheFieldKept) {
    sim->desktop->setFrontmost(100);
    undo(2);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["action"], "undo_unavailable");
    EXPECT_TRUE(sim->desktop->activatedApplications().empty());
    EXPECT_EQ(field("body"), "Dear Ada, Roses are red.");
}

TEST_F(UndoTest, AnErrorWithoutTextOfItsOwnCarriesTheLastAnswer) {
    send({{"command", "ask"}, {"id", 4}, {"text", " \n "}});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["phase"], "error");
    EXPECT_EQ(events[0]["message"], "Enter a request first.");
    EXPECT_EQ(events[0]["text"], "Roses are red.");

    send({{"command", "cancel"}, {"id", 5}});
    send({{"command", "ask"}, {"id", 6}, {"text", ""}});
    EXPECT_EQ(events.back()["text"], "");
}

}  // namespace
}  // namespace lumora
