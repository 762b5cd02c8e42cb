// File > Assemble Files... through the menu and both dialog steps.
#include "tests/dialog/DialogDriver.h"

#include <QCryptographicHash>

namespace shardix::testing {
namespace {

class AssembleCommand : public CommandTest {
  protected:
    void SetUp() override {
        CommandTest::SetUp();
        for (int k = 1; k <= 12; ++k)
            write(u"parts/part%1"_s.arg(k), whole.mid((k - 1) * 100, k < 12 ? 100 : -1));
        out = folder(u"out"_s);
    }
    // At the first step, `first`, then all twelve parts picked (click,
    // shift-click) and OK; at the second, with the focus in the emptied name
    // box, `second` in `out`, then "whole" typed and OK, after which the step is
    // shown or not as `shownAfter` says.
    void assemble(
        bool shownAfter = false,
        std::function<void(OperationDialog&)> first = [](OperationDialog&) {},
        std::function<void(OperationDialog&)> second = [](OperationDialog&) {}) {
        steps->then([this, first](OperationDialog& f) {
            EXPECT_FALSE(fileList(f)->isVisible());
            EXPECT_TRUE(folderList(f)->setPath(at(u"parts"_s)).ok());
            first(f);
            click(multiFileList(f), {u"part1"_s});
            click(multiFileList(f), {u"part12"_s}, Qt::ShiftModifier); // the last in the list
            ok(f);
        });
        steps->then([this, shownAfter, second](OperationDialog& f) {
            EXPECT_TRUE(fileList(f)->isVisible() && !multiFileList(f)->isVisible());
            EXPECT_EQ(f.focusWidget(), nameBox(f));
            EXPECT_EQ(nameBox(f)->text(), QString());
            EXPECT_TRUE(folderList(f)->setPath(out).ok());
            second(f);
            QTest::keyClicks(nameBox(f), u"whole"_s);
            ok(f);
            EXPECT_EQ(f.isVisible(), shownAfter);
        });
        command("assembleFilesCommand");
    }

    const QByteArray whole = pattern(12 * 100 + 7);
    QString out;
};

const QString kPickFiles = u"Please select fileS to assemble."_s;

// At the first step, OK with fewer than two files picked is refused, the focus
// back in the list.
TEST_F(AssembleCommand, TheFirstStepRefusesNoFilePicked) {
    assemble(false, [this](OperationDialog& f) { okWith(f, QString()); });
    EXPECT_EQ(boxes.boxTexts().value(0), kPickFiles);
    EXPECT_EQ(focus, QList<QWidget*>{multiFileList(*d)});
}

TEST_F(AssembleCommand, TheFirstStepRefusesOneFilePicked) {
    assemble(false, [this](OperationDialog& f) {
        click(multiFileList(f), {u"part3"_s});
        okWith(f, u"part3"_s);
    });
    EXPECT_EQ(boxes.boxTexts().value(0), kPickFiles);
    EXPECT_EQ(focus, QList<QWidget*>{multiFileList(*d)});
}

// At the second step, Enter with no name is refused, the focus back in the
// name box.
TEST_F(AssembleCommand, TheSecondStepRefusesAnEmptyName) {
    assemble(
        false, [](OperationDialog&) {},
        [this](OperationDialog& f) {
            QTest::keyClick(nameBox(f), Qt::Key_Return);
            focus.append(f.focusWidget());
        });
    EXPECT_TRUE(boxes.boxTexts().contains(u"Please enter/select a name for the assembled file."_s));
    EXPECT_EQ(focus, QList<QWidget*>{nameBox(*d)});
}

// Yes to re-ordering joins the twelve parts in their number order, and the
// completion message names the folder.
TEST_F(AssembleCommand, YesToReorderingJoinsThePartsInNumberOrder) {
    boxes.answerNext(MessageAnswer::Yes);
    assemble();
    EXPECT_EQ(read(out + u"/whole"_s), whole);
    EXPECT_EQ(d->selectedFiles().size(), 12u);
    EXPECT_EQ(boxes.boxTexts(),
              (QStringList{kReorder, completion(u"assembled file"_s, out, u"file"_s)}));
}

// The question whether to re-order is a choice between Yes and No.
TEST_F(AssembleCommand, TheQuestionOfTheOrderIsAChoiceOfYesOrNo) {
    assemble();
    ASSERT_EQ(boxes.boxTexts().value(0), kReorder);
    EXPECT_EQ(boxes.boxes[0].style, MessageButtons::YesNo | MessageIcon::Question);
    EXPECT_EQ(boxes.boxes[0].title, u"Shardix! - It's your choice..."_s);
}

// No to re-ordering joins the parts in the list's order, which is their number
// order (part2 before part10): No never joins them out of it.
TEST_F(AssembleCommand, NoToReorderingJoinsThePartsInNumberOrderToo) {
    boxes.answerNext(MessageAnswer::No);
    assemble();
    EXPECT_EQ(read(out + u"/whole"_s), whole);
}

// A target that is there: No to replacing it keeps it and the step.
TEST_F(AssembleCommand, NoToReplacingKeepsTheTargetAndTheStep) {
    const QString target = write(u"out/whole"_s, "old");
    for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::No})
        boxes.answerNext(answer);
    assemble(true);
    EXPECT_EQ(read(target), "old");
    const QString question = target + u" already exists.  Shall we overwrite it?"_s;
    EXPECT_EQ(boxes.boxTexts(), (QStringList{kReorder, question}));
}

TEST_F(AssembleCommand, YesToReplacingReplacesTheTarget) {
    const QString target = write(u"out/whole"_s, "old");
    for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes})
        boxes.answerNext(answer);
    assemble();
    EXPECT_EQ(read(target), whole);
    EXPECT_EQ(boxes.boxTexts().value(1), target + u" already exists.  Shall we overwrite it?"_s);
    EXPECT_EQ(steps->unexpected(), 0);
}

// Assembling into one of the parts is refused before anything is written, and
// the step stays for another name.
TEST_F(AssembleCommand, IntoOneOfThePartsTheStepStaysForAnotherName) {
    steps->then([this](OperationDialog& f) {
        EXPECT_TRUE(folderList(f)->setPath(at(u"parts"_s)).ok());
        click(multiFileList(f), {u"part1"_s});
        click(multiFileList(f), {u"part2"_s}, Qt::ControlModifier);
        ok(f);
    });
    steps->then([this](OperationDialog& f) {
        EXPECT_TRUE(folderList(f)->setPath(at(u"parts"_s)).ok());
        okWith(f, u"part1"_s); // refused before any question about replacing it
        EXPECT_TRUE(f.isVisible());
        EXPECT_EQ(f.caption(), u"Select DIR and/or enter NAME for assembled file"_s);
        okWith(f, u"joined"_s);
    });
    command("assembleFilesCommand");
    const QString part1 = at(u"parts/part1"_s);
    EXPECT_EQ(read(part1), whole.left(100));
    EXPECT_EQ(read(at(u"parts/joined"_s)), whole.left(200));
    EXPECT_EQ(boxes.boxTexts(),
              (QStringList{kReorder,
                           u"\""_s + part1 +
                               u"\" is one of the files to be assembled.  Assembling into it "
                               "would destroy it.  Please choose another name for the assembled "
                               "file."_s,
                           completion(u"assembled file"_s, at(u"parts"_s), u"file"_s)}));
    EXPECT_EQ(focus.first(), nameBox(*d));
    EXPECT_EQ(steps->unexpected(), 0);
}

// Parts that lie beside a manifest listing them are checked against it; Yes to
// re-ordering.
class PartsBesideTheirManifest : public AssembleCommand {
  protected:
    void SetUp() override {
        AssembleCommand::SetUp();
        QByteArray manifest = "# listed below: 12 segments and the whole file\n";
        for (int k = 1; k <= 12; ++k) {
            const QByteArray bytes = read(at(u"parts/part%1"_s.arg(k)));
            manifest += QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() +
                        "  part" + QByteArray::number(k) + "\n";
        }
        manifest += "# whole file: 1207 bytes\n" +
                    QCryptographicHash::hash(whole, QCryptographicHash::Sha256).toHex() +
                    "  whole\n";
        list = write(u"parts/part.sha256"_s, manifest);
        boxes.answerNext(MessageAnswer::Yes);
    }
    QString list;
};

// The completion message says the bytes joined match the manifest.
TEST_F(PartsBesideTheirManifest, AMatchIsTold) {
    assemble();
    EXPECT_EQ(boxes.boxTexts().last(), completion(u"assembled file"_s, out, u"file"_s) +
                                           u"  The bytes joined match the checksums in \""_s +
                                           list + u"\"."_s);
}

// Two parts swapped are named, with the manifest, the output kept under
// another name, and no completion message follows.
TEST_F(PartsBesideTheirManifest, TwoPartsSwappedAreNamed) {
    const QString part2 = at(u"parts/part2"_s), part3 = at(u"parts/part3"_s);
    const QByteArray second = read(part2);
    write(u"parts/part2"_s, read(part3));
    write(u"parts/part3"_s, second);
    assemble();
    EXPECT_EQ(
        boxes.boxTexts(),
        (QStringList{kReorder,
                     u"The bytes of \""_s + part2 + u"\" do not match its checksum in \""_s + list +
                         u"\": they are the bytes listed for \""_s + part3 + u"\"; \""_s + out +
                         u"/whole\" does not match the original file.  The file written is not "
                         "kept under its name: it is \""_s +
                         out + u"/whole.damaged\"."_s}));
}

// A part left out is refused before anything is written: the step stays as
// it was, its folder, its name and the files picked at the first step kept.
TEST_F(PartsBesideTheirManifest, APartLeftOutIsRefusedBeforeAnythingIsWritten) {
    steps->then([this](OperationDialog& f) {
        EXPECT_TRUE(folderList(f)->setPath(at(u"parts"_s)).ok());
        click(multiFileList(f), {u"part1"_s});
        click(multiFileList(f), {u"part2"_s}, Qt::ControlModifier);
        ok(f);
    });
    bool kept = false;
    steps->then([&](OperationDialog& f) {
        okIn(out, u"two"_s)(f);
        kept = f.isVisible() &&
               f.caption() == u"Select DIR and/or enter NAME for assembled file"_s &&
               folderList(f)->path() == out && nameBox(f)->text() == u"two"_s &&
               f.selectedFiles().size() == 2 && f.focusWidget() == nameBox(f);
    });
    command("assembleFilesCommand");
    EXPECT_TRUE(kept);
    EXPECT_EQ(boxes.boxTexts(), (QStringList{kReorder, u"\""_s + at(u"parts/part3"_s) +
                                                           u"\", piece 3 of the 12 pieces "
                                                           "listed in \""_s +
                                                           list +
                                                           u"\", is not among the files "
                                                           "given."_s}));
    EXPECT_FALSE(QFileInfo::exists(out + u"/two"_s));
    EXPECT_EQ(steps->unexpected(), 0);
}

} // namespace
} // namespace shardix::testing
