// The file editor on the headless platform with real files in a temporary folder: a randomized
// run of edits, saves, new names and questions against a model of the folder, and the cases
// around it (a protected backup, read-only files, names in other letter case, files called
// x.BAK or x.$$$, locking against another process, a full disk, bad files).
#include "host/application.h"
#include "host/headless/headless_platform.h"
#include "host/sysutils.h"
#include "kxctrls/kxctrls.h"
#include "support/test_support.h"
#include "textbuff/text_buffer.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <map>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrel::test {
namespace {

template <typename E> std::string ErrorOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const E& Error) {
        return Error.what();
    }
    return "";
}

/// Every file of the folder with its bytes.
std::map<std::string, std::string> Folder(const std::string& Path) {
    std::map<std::string, std::string> Files;
    for (const std::string& Name : FilesIn(Path))
        Files[Name] = ReadFile(Path + "/" + Name);
    return Files;
}

class FileEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        E->GetFont()->SetName("Courier New");
        E->SetSaveMode(smParagraph);
        E->SetBounds(10, 10, 400, 200);
        E->SetFocus();
        Application->ProcessMessages();
    }
    void TearDown() override {
        E.reset();
        Application->SetOnIdle(nullptr);
    }
    std::string Text() { return E->GetBuffer()->GetString(0, E->GetTextSize()); }
    void Type(std::int64_t At, const std::string& S) {
        E->FocusAt(At, false);
        E->InsertString(S);
    }
    /// Answers the next OnSaveModified with Answer (mrNone: the handler leaves it alone).
    void AnswerSaveModified(TModalResult Answer) {
        E->SetOnSaveModified([this, Answer](TObject*, TModalResult& Request) {
            ++Asked;
            if (Answer != mrNone)
                Request = Answer;
        });
    }

    headless::THeadlessPlatformScope Platform;
    TTempDir Dir;
    std::unique_ptr<TFileEditor> E = std::make_unique<TFileEditor>(nullptr);
    int Asked = 0;
};

// Random edits, saves with and without backups, saves under new names and changes of file with
// every answer to the unsaved-changes question; after each step the folder holds exactly what
// the model says (no temporary file ever remains) and the editor shows the model's name, text
// and modified state.
TEST_F(FileEditorTest, SavesKeepTheFolderAsTheModelSays) {
    const char* SeedText = std::getenv("KESTREL_SEED");
    const unsigned Seed =
        SeedText ? static_cast<unsigned>(std::atoi(SeedText)) : std::random_device{}();
    SCOPED_TRACE("KESTREL_SEED=" + std::to_string(Seed));
    std::mt19937 Rng(Seed);
    std::map<std::string, std::string> Disk; // the model of the folder
    for (const char* Name : {"a.txt", "b.txt", "c.BAK", "d.$$$"}) {
        Disk[Name] = std::string(Rng() % 40, 'x') + Name + "\n";
        WriteFile(Dir.File(Name), Disk[Name]);
    }
    std::string Name = "a.txt"; // the model of the editor
    E->SetFileName(Dir.File(Name));
    std::string Text = Disk[Name];
    bool Modified = false;
    for (int Step = 0; Step < 120; ++Step) {
        SCOPED_TRACE("step " + std::to_string(Step));
        const unsigned Op = Rng() % 6;
        if (Op <= 1) { // an edit
            const auto At = static_cast<std::int64_t>(Rng() % (Text.size() + 1));
            const std::string S = "e" + std::to_string(Step) + (Rng() % 3 == 0 ? "\r\n" : "");
            Type(At, S);
            // Typing beyond a line's end pads; the model takes the editor's word for where.
            Text = this->Text();
            Modified = true;
        } else if (Op == 2 && !Name.empty()) { // a save under its own name
            const bool Backup = Rng() % 2 == 0;
            E->SetBackupFiles(Backup);
            if (Rng() % 2 == 0)
                E->Save();
            else
                E->SaveAs(Dir.File(Name));
            const std::string Bak = TFileEditor::BackupName(Name);
            if (Backup)
                Disk[Bak] = Disk[Name];
            else
                Disk.erase(Bak);
            Disk[Name] = Text;
            Modified = false;
        } else if (Op == 3) { // a save under a new name
            std::string New = "n" + std::to_string(Rng() % 4) + ".txt";
            if (New == Name)
                New = "n4.txt";
            E->SaveAs(Dir.File(New));
            Disk[New] = Text;
            Name = New;
            Modified = false;
        } else { // another file, with the unsaved-changes question answered somehow
            static const TModalResult Answers[] = {mrYes, mrNo, mrCancel, mrNone, 42};
            const TModalResult Answer = Answers[Rng() % 5];
            AnswerSaveModified(Answer);
            E->SetBackupFiles(true);
            Asked = 0;
            std::vector<std::string> Names;
            for (const auto& [N, Bytes] : Disk)
                Names.push_back(N);
            const std::string Other = Names[Rng() % Names.size()];
            E->SetFileName(Dir.File(Other));
            EXPECT_EQ(Asked, Modified ? 1 : 0);
            const bool Saves = Modified && Answer == mrYes && !Name.empty();
            if (Saves) {
                Disk[TFileEditor::BackupName(Name)] = Disk[Name];
                Disk[Name] = Text;
            }
            if (!Modified || Saves || Answer == mrNo) {
                Name = Other;
                Text = Disk[Other];
                Modified = false;
            }
        }
        ASSERT_EQ(E->GetFileName(), Name.empty() ? "" : Dir.File(Name));
        ASSERT_EQ(this->Text(), Text);
        ASSERT_EQ(E->GetModified(), Modified);
        ASSERT_EQ(Folder(Dir.Path()), Disk);
    }
}

// A backup the user made read-only cannot be replaced: the save fails after 11 attempts with
// the fixed message, the file keeps its old text, and the editor holds the new text, unnamed and
// modified. The read-only attribute of an edited file comes back after a save, and a read-only
// text is refused.
TEST_F(FileEditorTest, ProtectedFilesAndBackups) {
    const std::string F = Dir.File("x.txt");
    WriteFile(F, "old\n");
    WriteFile(Dir.File("x.BAK"), "older\n");
    ASSERT_EQ(FileSetAttr(Dir.File("x.BAK"), faReadOnly), 0);
    E->SetFileName(F);
    Type(0, "new ");
    EXPECT_EQ(ErrorOf<ESaveError>([&] { E->Save(); }),
              "Unable to rename current file to \".bak\" file");
    EXPECT_EQ(ReadFile(F), "old\n");
    EXPECT_EQ(ReadFile(Dir.File("x.BAK")), "older\n");
    EXPECT_EQ(E->GetFileName(), "");
    EXPECT_TRUE(E->GetModified());
    EXPECT_EQ(Text(), "new old\n");
    EXPECT_EQ(FilesIn(Dir.Path()).size(), 2U) << "no temporary file is left";
    // Unnamed now: Save asks the application for a name, and does nothing without a handler.
    E->Save();
    int NewFile = 0;
    E->SetOnSaveNewFile([&](TObject*) { ++NewFile; });
    E->Save();
    EXPECT_EQ(NewFile, 1);

    // A read-only file kept writable (No) is saved and read-only again; Yes protects the text:
    // a save is refused through OnWriteProtect, else EWriteProtectError, and writes nothing.
    const std::string R = Dir.File("r.txt");
    WriteFile(R, "ro\n");
    ASSERT_EQ(FileSetAttr(R, faReadOnly), 0);
    Platform.Dialogs().PushMessageDlgAnswer(mrNo);
    E->SetFileName(R);
    ASSERT_EQ(Platform.Dialogs().GetMessageDlgs().back().Msg,
              R + " is read only. Prevent changes to edited text?");
    EXPECT_FALSE(E->GetReadOnly());
    Type(0, "w");
    E->Save();
    EXPECT_EQ(ReadFile(R), "wro\n");
    EXPECT_EQ(FileGetAttr(R) & faReadOnly, faReadOnly);
    EXPECT_EQ(ReadFile(Dir.File("r.BAK")), "ro\n");

    Platform.Dialogs().PushMessageDlgAnswer(mrYes);
    E->SetFileName(R);
    EXPECT_TRUE(E->GetReadOnly());
    E->SetModified(true);
    EXPECT_EQ(ErrorOf<EWriteProtectError>([&] { E->Save(); }), "Write protected!");
    int Refused = 0;
    E->SetOnWriteProtect([&](TObject*) { ++Refused; });
    E->Save();
    EXPECT_EQ(Refused, 1);
    EXPECT_EQ(ReadFile(R), "wro\n");
    // Cancel leaves the file loaded as the last read-only setting says.
    E->SetModified(false);
    E->SetReadOnly(false);
    Platform.Dialogs().PushMessageDlgAnswer(mrCancel);
    E->SetFileName(R);
    EXPECT_EQ(E->GetFileName(), R);
    EXPECT_FALSE(E->GetReadOnly());
}

// The same name in other letter case is another name: the text is written there and edited from
// then on. Files named like the backup or the temporary file keep their own bytes apart.
TEST_F(FileEditorTest, NamesInOtherCaseAndFilesNamedLikeTheSaveFiles) {
    const std::string F = Dir.File("Case.txt");
    WriteFile(F, "one\n");
    E->SetFileName(F);
    Type(0, "1");
    int Named = 0;
    E->SetOnNewFileName([&](TObject*) { ++Named; });
    E->SaveAs(Dir.File("CASE.TXT"));
    EXPECT_EQ(Named, 1);
    EXPECT_EQ(E->GetFileName(), Dir.File("CASE.TXT"));
    EXPECT_EQ(ReadFile(Dir.File("CASE.TXT")), "1one\n");
    EXPECT_EQ(ReadFile(F), "one\n");
    EXPECT_FALSE(E->GetModified());

    for (const std::string Own : {"x.BAK", "x.bak", "x.$$$"}) {
        SCOPED_TRACE(Own);
        TTempDir Sub;
        WriteFile(Sub.File(Own), "mine\n");
        WriteFile(Sub.File("x.txt"), "other\n");
        E->SetFileName(Sub.File(Own));
        Type(0, "+");
        E->Save();
        const std::map<std::string, std::string> Want = {
            {Own, "+mine\n"},
            {"x.txt", "other\n"},
            {Own == "x.$$$" ? "x.BAK" : Own + ".BAK", "mine\n"}};
        EXPECT_EQ(Folder(Sub.Path()), Want);
        E->SetFileName("");
    }
}

// Replacing the text while it has unsaved changes goes only as far as the answer allows: Cancel,
// no answer and unknown answers keep the old source and its edits, whatever replaces it (a file,
// a stream, a clear, a load, WM_SETTEXT).
TEST_F(FileEditorTest, UnsavedChangesStayUnlessDiscardedOrSaved) {
    const std::string F = Dir.File("f.txt");
    const std::string G = Dir.File("g.txt");
    WriteFile(F, "f\n");
    WriteFile(G, "g\n");
    E->SetFileName(F);
    E->EndOfLine(); // the caret knows the first line at once
    EXPECT_EQ(E->GetCharNumber(), 1);
    Type(0, "edit ");
    for (const TModalResult Answer : std::vector<TModalResult>{mrCancel, mrNone, mrOk, 42}) {
        SCOPED_TRACE(Answer);
        AnswerSaveModified(Answer);
        E->SetFileName(G);
        E->SetSourceStream(std::make_unique<TMemoryStream>());
        E->Clear();
        TMemoryStream Other;
        Other.WriteBuffer("other", 5);
        E->LoadFromStream(&Other);
        EXPECT_EQ(E->Perform(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("other")), 0);
        EXPECT_EQ(E->GetFileName(), F);
        EXPECT_EQ(Text(), "edit f\n");
        EXPECT_TRUE(E->GetModified());
        E->Undo();
        EXPECT_EQ(Text(), "f\n") << "the edits stay undoable";
        E->Redo();
    }
    AnswerSaveModified(mrNo);
    E->SetFileName(G);
    EXPECT_EQ(Text(), "g\n");
    EXPECT_EQ(ReadFile(F), "f\n");
    Type(0, "y");
    AnswerSaveModified(mrYes);
    E->SetFileName(F);
    EXPECT_EQ(ReadFile(G), "yg\n");
    EXPECT_EQ(E->GetFileName(), F);
    // Yes on an unnamed text whose handler gives no name keeps it.
    E->SetSourceStream(std::make_unique<TMemoryStream>());
    Type(0, "z");
    E->SetFileName(G);
    EXPECT_EQ(Text(), "z");
}

// With FileLocking another process can open the edited file neither to read nor to write;
// without, it can. Bad files are refused with their name; a file that shrinks while edited
// raises EReadError naming it.
TEST_F(FileEditorTest, LockingAndBadFiles) {
    const std::string F = Dir.File("locked.txt");
    WriteFile(F, "text\n");
    const auto OtherProcessOpens = [&] {
        const pid_t Child = ::fork();
        if (Child == 0) {
            bool Opened = true;
            try {
                TFileStream S(F, fmOpenRead | fmShareDenyNone);
            } catch (const EFOpenError&) {
                Opened = false;
            }
            ::_exit(Opened ? 0 : 1);
        }
        int Status = 0;
        ::waitpid(Child, &Status, 0);
        return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
    };
    E->SetFileName(F);
    EXPECT_FALSE(OtherProcessOpens());
    E->SetFileLocking(false);
    E->SetFileName(F);
    EXPECT_TRUE(OtherProcessOpens());
    E->SetFileLocking(true);
    Type(0, "x");
    E->Save();
    EXPECT_FALSE(OtherProcessOpens()) << "the saved file is locked again";
    E->SetFileName("");
    EXPECT_TRUE(OtherProcessOpens());

    const std::string Fifo = Dir.File("fifo");
    ASSERT_EQ(::mkfifo(Fifo.c_str(), 0600), 0);
    for (const std::string& Bad : {Dir.Path(), Fifo, std::string("/dev/null"), Dir.File("no")}) {
        const std::string Error = ErrorOf<EFOpenError>([&] { E->SetFileName(Bad); });
        EXPECT_EQ(Error.rfind("Cannot open file \"" + Bad + "\". ", 0), 0U) << Error;
        EXPECT_EQ(E->GetFileName(), "");
        EXPECT_EQ(E->GetTextSize(), 0);
    }
    std::string Long;
    for (int I = 0; I < 20000; ++I)
        Long += "line " + std::to_string(I) + "\n";
    WriteFile(F, Long);
    E->SetFileName(F);
    ASSERT_EQ(::truncate(F.c_str(), 10), 0);
    const std::string Error = ErrorOf<EReadError>([&] {
        E->EndOftext();
        Application->ProcessMessages();
    });
    EXPECT_NE(Error.find("\"" + F + "\""), std::string::npos) << Error;
}

// A save to a file system that fills up (a 1 MiB tmpfs mounted in a mount namespace of a child
// process; where none can be made, a file size limit that makes writes fail the same way) fails
// while writing: the file keeps its text, no temporary file remains, and the editor keeps its
// name, its edits and its modified state.
TEST_F(FileEditorTest, AFullDiskLeavesTheFileAndTheEditsAlone) {
    int Pipe[2];
    ASSERT_EQ(::pipe(Pipe), 0);
    const std::string Mount = Dir.File("small");
    ASSERT_EQ(::mkdir(Mount.c_str(), 0700), 0);
    const pid_t Child = ::fork();
    if (Child == 0) {
        ::close(Pipe[0]);
        std::string Report;
        const auto Check = [&Report](bool Ok, const std::string& What) {
            if (!Ok)
                Report += What + "; ";
        };
        const int Flags = ::geteuid() == 0 ? CLONE_NEWNS : CLONE_NEWNS | CLONE_NEWUSER;
        const bool Mounted = ::unshare(Flags) == 0 &&
                             ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                             ::mount("tmpfs", Mount.c_str(), "tmpfs", 0, "size=1m") == 0;
        try {
            const std::string F = Mount + "/big.txt";
            const std::string Old(700 * 1024, 'o');
            WriteFile(F, Old);
            if (!Mounted) { // no file may grow past 100 KB from now on (EFBIG, not a signal)
                ::signal(SIGXFSZ, SIG_IGN);
                const rlimit Limit{100 * 1024, 100 * 1024};
                Check(::setrlimit(RLIMIT_FSIZE, &Limit) == 0, "no file size limit");
            }
            E->SetFileName(F);
            Type(0, "new");
            const std::string Error = ErrorOf<EStreamError>([&] { E->Save(); });
            Check(!Error.empty(), "no error raised");
            Check(ReadFile(F) == Old, "the file changed");
            Check(FilesIn(Mount) == std::vector<std::string>{"big.txt"}, "files left");
            Check(E->GetFileName() == F, "the name went");
            Check(E->GetModified(), "not modified");
            Check(Text() == "new" + Old, "the text changed");
            if (Mounted)
                ::umount(Mount.c_str());
        } catch (const std::exception& Failure) {
            Report += std::string("raised: ") + Failure.what();
        }
        if (Report.empty())
            Report = "ok";
        static_cast<void>(::write(Pipe[1], Report.data(), Report.size()));
        ::_exit(0);
    }
    ::close(Pipe[1]);
    std::string Report;
    char Buf[256];
    for (ssize_t N; (N = ::read(Pipe[0], Buf, sizeof Buf)) > 0;)
        Report.append(Buf, static_cast<std::size_t>(N));
    ::close(Pipe[0]);
    ::waitpid(Child, nullptr, 0);
    EXPECT_EQ(Report, "ok");
}

} // namespace
} // namespace kestrel::test
