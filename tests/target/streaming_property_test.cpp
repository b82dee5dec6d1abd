// Thousands of generated replies streamed through the real target into a field of the
// simulated desktop, while a simulated user types, deletes, clicks, selects and switches
// applications between the snapshots (and now and then while a write lands), and the field's
// application accepts, rejects, ignores or selects what is written. The test keeps its own
// prediction of the field and checks at every write that the target types only into a field
// exactly as it left it, that it never pastes a whole reply over one it has partly typed, and
// that a reply nobody disturbed is always typed to its end, whatever characters it splits.
#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "assistant/target/target.h"
#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/text.h"

namespace lumora {
namespace {

constexpr std::uint64_t seed = 0x4C55'4D4F'5241'0041;
constexpr std::uint64_t sequenceCount = 10'000;
constexpr pid_t notes = 200;
constexpr pid_t mail = 300;
const std::string fieldId = "field";

constexpr const char* world = R"({
  "parentPid": 100, "frontmost": 200,
  "apps": [
    {"pid": 100, "name": "Lumora"},
    {"pid": 200, "name": "Notes", "focusedWindow": "window", "focusedElement": "field",
     "elements": [
      {"id": "window", "role": "AXWindow", "title": "Draft"},
      {"id": "field", "role": "AXTextArea", "parent": "window", "value": ""},
      {"id": "other", "role": "AXTextField", "parent": "window", "value": ""}]},
    {"pid": 300, "name": "Mail", "focusedElement": "compose", "elements": [
      {"id": "compose", "role": "AXTextArea", "value": ""}]}
  ],
  "pasteboard": {"items": [[{"type": "public.utf8-plain-text", "data": "copied earlier"}]]},
  "system": {"environment": {"LUMORA_AUDIT_DIR": null}}
})";

// The simulated user works between code points, where a real caret can sit.
std::u32string decode(std::string_view utf8) {
    std::u32string points;
    for (std::size_t at = 0; at < utf8.size();) {
        auto lead = static_cast<unsigned char>(utf8[at]);
        int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
        char32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int next = 1; next <= extra; ++next) {
            point = (point << 6) | (static_cast<unsigned char>(utf8[at + next]) & 0x3F);
        }
        points.push_back(point);
        at += static_cast<std::size_t>(extra) + 1;
    }
    return points;
}

std::string encode(std::u32string_view points) {
    std::string utf8;
    auto put = [&utf8](char32_t bits) { utf8.push_back(static_cast<char>(bits)); };
    for (char32_t point : points) {
        if (point < 0x80) {
            put(point);
        } else if (point < 0x800) {
            put(0xC0 | point >> 6);
            put(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            put(0xE0 | point >> 12);
            put(0x80 | (point >> 6 & 0x3F));
            put(0x80 | (point & 0x3F));
        } else {
            put(0xF0 | point >> 18);
            put(0x80 | (point >> 12 & 0x3F));
            put(0x80 | (point >> 6 & 0x3F));
            put(0x80 | (point & 0x3F));
        }
    }
    return utf8;
}

long utf16Units(std::u32string_view points) {
    long units = 0;
    for (char32_t point : points) units += point > 0xFFFF ? 2 : 1;
    return units;
}

std::size_t indexAtUnits(std::u32string_view points, long units) {
    std::size_t index = 0;
    for (long seen = 0; index < points.size() && seen < units; ++index) {
        seen += points[index] > 0xFFFF ? 2 : 1;
    }
    return index;
}

// A field as the user sees it: its code points and a selection between them.
struct Field {
    std::u32string text;
    std::size_t caret = 0;
    std::size_t length = 0;

    sim::FieldState state() const {
        return {encode(text),
                {utf16Units(std::u32string_view(text).substr(0, caret)),
                 utf16Units(std::u32string_view(text).substr(caret, length))}};
    }
    static Field of(const sim::FieldState& state) {
        Field field{decode(state.value)};
        field.caret = indexAtUnits(field.text, state.selection.location);
        field.length = indexAtUnits(field.text, state.selection.location + state.selection.length) -
                       field.caret;
        return field;
    }
};

// What replies and users type: words, both kinds of line break, and characters whose
// character, code point and UTF-16 counts differ (combining marks, emoji with modifiers and
// joiners, flags, keycaps, a character outside the basic plane, a lone joiner).
const std::vector<std::u32string> pieces = [] {
    std::vector<std::u32string> decoded;
    for (const char* piece :
         {"Thanks", "Ada", " ",        ",",           ".",
          "\r\n",   "\n",  "é",        "e\u0301",     "a\u0308\u0301",
          "漢字",   "👋",   "👍🏽", "👩‍💻", "👨‍👩‍👧‍👦",
          "🇫🇷",     "🇯🇵",  "1️⃣",  "𝄞",           "ก้",
          "\u200d"}) {
        decoded.push_back(decode(piece));
    }
    return decoded;
}();

class Random {
  public:
    explicit Random(std::uint64_t sequence) {
        std::seed_seq seeds{seed, sequence};
        engine_.seed(seeds);
    }
    bool chance(double probability) { return std::bernoulli_distribution(probability)(engine_); }
    // 0 to count - 1.
    std::size_t below(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(engine_);
    }
    std::size_t weighted(std::initializer_list<double> weights) {
        return std::discrete_distribution<std::size_t>(weights)(engine_);
    }
    std::u32string text(std::size_t maximumPieces) {
        std::u32string text;
        for (std::size_t count = below(maximumPieces + 1); count > 0; --count) {
            text += pieces[below(pieces.size())];
        }
        return text;
    }

  private:
    std::mt19937_64 engine_;
};

enum class Quirk {
    accept,
    rejectIllegal,
    rejectUnsupported,
    rejectNotImplemented,
    failOther,
    selectInserted,
    ignore
};

sim::WriteQuirks quirksOf(Quirk quirk) {
    switch (quirk) {
        case Quirk::accept:
            return {};
        case Quirk::rejectIllegal:
            return {platform::axIllegalArgument};
        case Quirk::rejectUnsupported:
            return {platform::axAttributeUnsupported};
        case Quirk::rejectNotImplemented:
            return {platform::axNotImplemented};
        case Quirk::failOther:
            return {platform::axFailure};
        case Quirk::selectInserted:
            return {std::nullopt, true};
        case Quirk::ignore:
            return {std::nullopt, false, true};
    }
    return {};
}

Quirk randomQuirk(Random& random, bool accepting) {
    // Accepting fields most of the time, so that many replies can stream to their end.
    return static_cast<Quirk>(random.weighted({accepting ? 55.0 : 0.0, 6, 6, 6, 5, 11, 11}));
}

bool isRejection(platform::AXError error) {
    return error == platform::axIllegalArgument || error == platform::axAttributeUnsupported ||
           error == platform::axNotImplemented;
}

struct Tally {
    // What the generator produced.
    long sequences = 0;
    long snapshots = 0;
    long writes = 0;
    long landedWrites = 0;
    long writesSplittingACharacter = 0;
    long userEdits = 0;
    long raceEdits = 0;
    long divergentCalls = 0;
    // How the replies ended.
    long completed = 0;
    long partial = 0;
    long stoppedByUserAfterWrites = 0;
    long revisionsStoppedAfterWrites = 0;
    long quirksStoppedAfterWrites = 0;
    long pasted = 0;
    long pasteRefused = 0;
    long rejectedFirstWritePasted = 0;
    long selectionsPasted = 0;
    long undone = 0;
    // What must never happen.
    long writesIntoDivergedField = 0;
    long pastesAfterStreaming = 0;
    long wrongTextWrites = 0;
    long falseCompletions = 0;
    long missedCompletions = 0;
    long lostFallbacks = 0;
    long badUndos = 0;
    std::optional<std::uint64_t> firstViolatingSequence;

    long violations() const {
        return writesIntoDivergedField + pastesAfterStreaming + wrongTextWrites + falseCompletions +
               missedCompletions + lostFallbacks + badUndos;
    }
};

// Shows every write of selected text to an observer before and after it reaches the desktop.
class WatchedAccessibility final : public platform::Accessibility {
  public:
    class Observer {
      public:
        virtual void beforeWrite(const platform::AXElement& element, const std::string& text) = 0;
        virtual void afterWrite(platform::AXError error) = 0;

      protected:
        ~Observer() = default;
    };

    WatchedAccessibility(platform::Accessibility& inner, Observer& observer)
        : inner_(inner), observer_(observer) {}

    platform::AXElement applicationElement(pid_t pid) override {
        return inner_.applicationElement(pid);
    }
    platform::AXElement systemWideElement() override { return inner_.systemWideElement(); }
    std::optional<platform::AXValue> copyAttribute(const platform::AXElement& element,
                                                   std::string_view name) override {
        return inner_.copyAttribute(element, name);
    }
    std::optional<platform::AXValue> copyParameterizedAttribute(
        const platform::AXElement& element, std::string_view name,
        const platform::AXValue& parameter) override {
        return inner_.copyParameterizedAttribute(element, name, parameter);
    }
    platform::AXError setAttribute(const platform::AXElement& element, std::string_view name,
                                   const platform::AXValue& value) override {
        const auto* text = std::get_if<std::string>(&value);
        bool watched = text && name == "AXSelectedText";
        if (watched) observer_.beforeWrite(element, *text);
        platform::AXError error = inner_.setAttribute(element, name, value);
        if (watched) observer_.afterWrite(error);
        return error;
    }
    std::optional<bool> isAttributeSettable(const platform::AXElement& element,
                                            std::string_view name) override {
        return inner_.isAttributeSettable(element, name);
    }
    std::optional<pid_t> pid(const platform::AXElement& element) override {
        return inner_.pid(element);
    }
    bool equal(const platform::AXElement& a, const platform::AXElement& b) override {
        return inner_.equal(a, b);
    }

  private:
    platform::Accessibility& inner_;
    Observer& observer_;
};

struct Workbench {
    ManualClock clock;
    EventLoop loop{clock};
    platform::SoxrConversion audioConversion;
    platform::PngImages images;
    platform::TesseractRecognition recognition;
};

Task<void> insertInto(Target& target, std::string text, std::optional<bool>& pasted) {
    pasted = co_await target.insert(std::move(text), true);
}

// One reply, from capture through streaming and delivery to an optional undo, driven the way
// the assistant's delivery drives the target.
class StreamingRun final : public WatchedAccessibility::Observer {
  public:
    StreamingRun(std::uint64_t sequence, Tally& tally, Workbench& bench)
        : random_(sequence),
          tally_(tally),
          bench_(bench),
          desktop_(sim::SimDesktop::load(world)),
          watched_(desktop_->accessibility(), *this),
          ports_{watched_,
                 desktop_->workspace(),
                 desktop_->windows(),
                 desktop_->pasteboard(),
                 desktop_->keyboard(),
                 desktop_->permissions(),
                 desktop_->speech(),
                 desktop_->audio(),
                 bench.audioConversion,
                 desktop_->screenCapture(),
                 bench.recognition,
                 bench.images,
                 desktop_->languageModel(),
                 desktop_->system()} {}

    void run() {
        ++tally_.sequences;
        activity_ = std::vector<double>{0, 0.15, 0.5}[random_.weighted({40, 35, 25})];
        race_ = random_.chance(0.1) ? 0.3 : 0;
        initial_.text = random_.text(6);
        initial_.caret = random_.below(initial_.text.size() + 1);
        if (random_.chance(0.2)) {
            initial_.length = random_.below(initial_.text.size() - initial_.caret + 1);
        }
        sim::FieldState start = initial_.state();
        desktop_->editField(fieldId, start.value, start.selection);
        quirk_ = randomQuirk(random_, true);
        desktop_->setWriteQuirks(fieldId, quirksOf(quirk_));
        std::optional<std::size_t> quirkChangesAt;
        if (quirk_ == Quirk::accept && random_.chance(0.1)) quirkChangesAt = random_.below(8);

        platform::Accessibility& ax = desktop_->accessibility();
        auto focused = ax.copyAttribute(ax.applicationElement(notes), "AXFocusedUIElement");
        fieldElement_ = std::get<platform::AXElement>(*focused);
        Target target(ports_, bench_.loop, clipboard_);

        std::u32string reply = random_.text(random_.chance(0.05) ? 0 : 24);
        bool revising = random_.chance(0.15);
        std::size_t shown = 0;
        std::size_t snapshotCount = random_.chance(0.05) ? 0 : 1 + random_.below(16);
        for (std::size_t index = 0; index < snapshotCount; ++index) {
            if (quirkChangesAt == index) {
                quirk_ = randomQuirk(random_, false);
                quirkChanged_ = true;
                desktop_->setWriteQuirks(fieldId, quirksOf(quirk_));
            }
            userGap();
            if (revising && shown > 0 && random_.chance(0.25)) {
                // The reply is rewritten from some point on and may come back shorter.
                std::size_t kept = random_.below(shown);
                reply = reply.substr(0, kept) + random_.text(8);
                shown = std::min(reply.size(), kept + random_.below(4));
            } else {
                // Snapshots grow by whole code points, splitting characters anywhere.
                shown = std::min(reply.size(), shown + random_.below(6));
            }
            stream(target, encode(std::u32string_view(reply).substr(0, shown)));
        }
        userGap();
        complete(target, encode(reply));
        if (random_.chance(0.5)) revisit(target, encode(reply));
        if (tally_.violations() != violationsBefore_ && !tally_.firstViolatingSequence) {
            tally_.firstViolatingSequence = tally_.sequences - 1;
        }
    }

  private:
    enum class Action {
        type,
        backspace,
        forwardDelete,
        moveCaret,
        select,
        clickInPlace,
        typeAndRestore,
        leaveApp,
        focusOtherField
    };

    sim::FieldState field() const { return *desktop_->field(fieldId); }
    void put(const Field& field) {
        sim::FieldState state = field.state();
        desktop_->editField(fieldId, state.value, state.selection);
    }

    // The field as it must be if nothing but the target's writes so far touched it.
    sim::FieldState predicted(const std::string& streamed) const {
        Field field = initial_;
        std::u32string typed = decode(streamed);
        field.text.insert(field.caret, typed);
        field.caret += typed.size();
        field.length = 0;
        return field.state();
    }

    void type(Field& field) {
        std::u32string piece = pieces[random_.below(pieces.size())];
        field.text.replace(field.caret, field.length, piece);
        field.caret += piece.size();
        field.length = 0;
    }

    // What the user does between two snapshots; true when they changed the field or left it.
    // Coming back leaves the field as it was.
    bool userGap(double probability) {
        if (!random_.chance(probability)) return false;
        if (away_) {
            if (random_.chance(0.5)) {
                desktop_->setFrontmost(notes);
                desktop_->setFocusedElement(notes, fieldId);
                away_ = false;
            }
            return false;
        }
        sim::FieldState before = field();
        Field edited = Field::of(before);
        auto action = static_cast<Action>(random_.weighted({20, 10, 5, 15, 10, 15, 10, 8, 7}));
        switch (action) {
            case Action::type:
                type(edited);
                break;
            case Action::backspace:
            case Action::forwardDelete:
                if (edited.length == 0) {
                    bool back = action == Action::backspace;
                    if (back ? edited.caret == 0 : edited.caret == edited.text.size()) break;
                    if (back) --edited.caret;
                    edited.length = 1;
                }
                edited.text.erase(edited.caret, edited.length);
                edited.length = 0;
                break;
            case Action::moveCaret:
                edited.caret = random_.below(edited.text.size() + 1);
                edited.length = 0;
                break;
            case Action::select:
                edited.caret = random_.below(edited.text.size() + 1);
                edited.length = random_.below(edited.text.size() - edited.caret + 1);
                break;
            case Action::clickInPlace:
                break;
            case Action::typeAndRestore: {
                Field typed = edited;
                type(typed);
                put(typed);
                break;
            }
            case Action::leaveApp:
                desktop_->setFrontmost(mail);
                away_ = true;
                return true;
            case Action::focusOtherField:
                desktop_->setFocusedElement(notes, "other");
                away_ = true;
                return true;
        }
        put(edited);
        ++tally_.userEdits;
        return field() != before;
    }
    void userGap() {
        if (userGap(activity_) && !away_) disturbed_ = true;
    }

    void stream(Target& target, const std::string& reply) {
        ++tally_.snapshots;
        if (away_) awayAtCall_ = true;
        if (!reply.starts_with(lastSnapshot_)) revised_ = true;
        if (initial_.length == 0 && reply != streamed_ &&
            (away_ || field() != predicted(streamed_))) {
            ++tally_.divergentCalls;
        }
        reply_ = reply;
        streaming_ = true;
        target.streamInsert(reply);
        streaming_ = false;
        lastSnapshot_ = reply;
        if (mayHaveChangedField() && !target.hasStreamMutation()) ++tally_.pastesAfterStreaming;
    }

    bool mayHaveChangedField() const { return landed_ || acceptedWrite_; }

    void beforeWrite(const platform::AXElement& element, const std::string& delta) override {
        if (!streaming_) return;
        ++tally_.writes;
        ++writes_;
        beforeWrite_ = field();
        bool asPredicted = !away_ && initial_.length == 0 &&
                           desktop_->accessibility().equal(element, fieldElement_) &&
                           beforeWrite_ == predicted(streamed_);
        if (!asPredicted) ++tally_.writesIntoDivergedField;
        if (streamed_ + delta != reply_) ++tally_.wrongTextWrites;
        if (text::characterCount(streamed_ + delta) !=
            text::characterCount(streamed_) + text::characterCount(delta)) {
            ++tally_.writesSplittingACharacter;
        }
        streamed_ += delta;
    }

    void afterWrite(platform::AXError error) override {
        if (!streaming_) return;
        bool changed = field() != beforeWrite_;
        if (changed) {
            landed_ = true;
            ++tally_.landedWrites;
        }
        if (!isRejection(error)) acceptedWrite_ = true;
        if (writes_ == 1) firstWriteRejectedUntouched_ = isRejection(error) && !changed;
        if (!away_ && random_.chance(race_)) {
            // The user types, clicks or extends the selection while the write lands, before
            // the target reads the field back.
            Field edited = Field::of(field());
            switch (random_.below(3)) {
                case 0:
                    type(edited);
                    break;
                case 1:
                    edited.caret = random_.below(edited.text.size() + 1);
                    edited.length = 0;
                    break;
                default:
                    edited.length = std::min(edited.text.size() - edited.caret,
                                             edited.length + 1 + random_.below(3));
                    break;
            }
            put(edited);
            ++tally_.raceEdits;
            raced_ = true;
        }
    }

    bool insert(Target& target, std::string text) {
        std::optional<bool> pasted;
        spawn(bench_.loop, insertInto(target, std::move(text), pasted));
        bench_.loop.runUntilIdle();
        bench_.loop.advance(2.0);
        if (!pasted) ADD_FAILURE() << "the paste did not finish";
        return pasted.value_or(false);
    }

    // As the assistant completes a written reply: paste it whole while nothing was written,
    // otherwise type the rest and ask whether the field holds all of it.
    void complete(Target& target, const std::string& reply) {
        bool fallback = !target.incremental() || target.incremental()->canFallback;
        bool onlyUntouchedRejections = writes_ > 0 && !mayHaveChangedField() && !raced_;
        if (onlyUntouchedRejections && !fallback) ++tally_.lostFallbacks;
        bool pasted = false;
        if (fallback) {
            if (away_) awayAtCall_ = true;
            pasted = insert(target, reply);
        } else {
            stream(target, reply);
            completed_ = target.streamCompleted(reply);
        }
        bool commandV = !desktop_->postedEvents().empty();
        if (mayHaveChangedField() && (pasted || commandV || !target.hasStreamMutation())) {
            ++tally_.pastesAfterStreaming;
        }
        if (completed_ && (away_ || field() != predicted(reply))) ++tally_.falseCompletions;

        bool undisturbed = quirk_ == Quirk::accept && !quirkChanged_ && initial_.length == 0 &&
                           !revised_ && !disturbed_ && !awayAtCall_ && !raced_;
        if (undisturbed) {
            bool delivered = writes_ > 0 ? completed_ : pasted == !reply.empty();
            if (!delivered || field() != predicted(reply)) ++tally_.missedCompletions;
        }

        if (completed_) {
            ++tally_.completed;
        } else if (!fallback) {
            ++tally_.partial;
            if (landed_ && (disturbed_ || awayAtCall_ || raced_)) ++tally_.stoppedByUserAfterWrites;
            if (landed_ && revised_) ++tally_.revisionsStoppedAfterWrites;
            if (quirk_ != Quirk::accept) ++tally_.quirksStoppedAfterWrites;
        }
        if (pasted) {
            ++tally_.pasted;
            if (firstWriteRejectedUntouched_) ++tally_.rejectedFirstWritePasted;
            if (initial_.length > 0) ++tally_.selectionsPasted;
        } else if (fallback) {
            ++tally_.pasteRefused;
        }
    }

    // Asked again later, completion still means the field holds exactly the whole reply; undo
    // puts the field back exactly as the request found it, or changes nothing.
    void revisit(Target& target, const std::string& reply) {
        bool changedByUser = random_.chance(0.3) && userGap(1.0);
        bool stillComplete = target.streamCompleted(reply);
        if (stillComplete && (away_ || field() != predicted(reply))) ++tally_.falseCompletions;
        if (completed_ && !changedByUser && !stillComplete) ++tally_.missedCompletions;

        sim::FieldState before = field();
        bool undone = target.undo();
        sim::FieldState after = field();
        if (undone) {
            ++tally_.undone;
            // A field that ignores writes while reporting success cannot be seen through.
            if (quirk_ != Quirk::ignore && after != initial_.state()) ++tally_.badUndos;
        } else if (after != before) {
            ++tally_.badUndos;
        }
        if (completed_ && !changedByUser && !away_ && quirk_ == Quirk::accept && !undone) {
            ++tally_.badUndos;
        }
    }

    Random random_;
    Tally& tally_;
    Workbench& bench_;
    long violationsBefore_ = tally_.violations();
    std::unique_ptr<sim::SimDesktop> desktop_;
    WatchedAccessibility watched_;
    platform::Ports ports_;
    BorrowedClipboard clipboard_{bench_.loop, desktop_->pasteboard()};
    platform::AXElement fieldElement_;

    double activity_ = 0;
    double race_ = 0;
    Field initial_;
    Quirk quirk_ = Quirk::accept;
    bool quirkChanged_ = false;

    bool away_ = false;
    bool awayAtCall_ = false;
    bool disturbed_ = false;
    bool revised_ = false;
    bool raced_ = false;

    bool streaming_ = false;
    std::string reply_;
    std::string lastSnapshot_;
    std::string streamed_;
    sim::FieldState beforeWrite_;
    long writes_ = 0;
    bool landed_ = false;
    bool acceptedWrite_ = false;
    bool firstWriteRejectedUntouched_ = false;
    bool completed_ = false;
};

TEST(StreamingPropertyTest, NeverTypesIntoAChangedFieldNorPastesOverAPartlyTypedReply) {
    Workbench bench;
    Tally tally;
    for (std::uint64_t sequence = 0; sequence < sequenceCount; ++sequence) {
        StreamingRun(sequence, tally, bench).run();
    }

    using Figures = std::vector<std::pair<const char*, long>>;
    const Figures produced = {
        {"sequences", tally.sequences},
        {"snapshots", tally.snapshots},
        {"writes", tally.writes},
        {"landedWrites", tally.landedWrites},
        {"writesSplittingACharacter", tally.writesSplittingACharacter},
        {"userEdits", tally.userEdits},
        {"raceEdits", tally.raceEdits},
        {"divergentCalls", tally.divergentCalls},
        {"completed", tally.completed},
        {"partial", tally.partial},
        {"stoppedByUserAfterWrites", tally.stoppedByUserAfterWrites},
        {"revisionsStoppedAfterWrites", tally.revisionsStoppedAfterWrites},
        {"quirksStoppedAfterWrites", tally.quirksStoppedAfterWrites},
        {"pasted", tally.pasted},
        {"pasteRefused", tally.pasteRefused},
        {"rejectedFirstWritePasted", tally.rejectedFirstWritePasted},
        {"selectionsPasted", tally.selectionsPasted},
        {"undone", tally.undone},
    };
    const Figures violations = {
        {"writesIntoDivergedField", tally.writesIntoDivergedField},
        {"pastesAfterStreaming", tally.pastesAfterStreaming},
        {"wrongTextWrites", tally.wrongTextWrites},
        {"falseCompletions", tally.falseCompletions},
        {"missedCompletions", tally.missedCompletions},
        {"lostFallbacks", tally.lostFallbacks},
        {"badUndos", tally.badUndos},
    };
    std::string line = "streaming property:";
    for (const Figures* figures : {&produced, &violations}) {
        for (const auto& [name, count] : *figures) {
            testing::Test::RecordProperty(name, std::to_string(count));
            line += " " + std::string(name) + "=" + std::to_string(count);
        }
    }
    std::cout << line << std::endl;

    for (const auto& [name, count] : violations) EXPECT_EQ(count, 0) << name;
    EXPECT_FALSE(tally.firstViolatingSequence)
        << "first violating sequence: " << tally.firstViolatingSequence.value_or(0);

    // The generator reached every situation the properties are about, often.
    EXPECT_EQ(tally.sequences, static_cast<long>(sequenceCount));
    for (const auto& [name, count] : produced) EXPECT_GE(count, 50) << name;
}

}  // namespace
}  // namespace lumora
