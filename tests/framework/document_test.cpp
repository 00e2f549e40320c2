// Documents, views, templates and the document manager working together, with real files.
#include "framework/app_lock.h"
#include "framework/doc_manager.h"
#include "framework/doc_template.h"
#include "framework/document.h"
#include "framework/framework_ui.h"
#include "framework/string_table.h"
#include "framework/view.h"
#include "tests/support/pty_pair.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace tfw;

namespace {

int g_destroyed = 0;

// A document holding a list of numbers, stored as a count and the values.
class NumbersDoc : public CDocument {
public:
    static std::unique_ptr<CDocument> Create() {
        return std::unique_ptr<CDocument>(new NumbersDoc);
    }
    ~NumbersDoc() override { ++g_destroyed; }
    void DeleteContents() override { values.clear(); }
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar << static_cast<std::uint16_t>(values.size());
            for (auto v : values) ar << v;
        } else {
            std::uint16_t n = 0;
            ar >> n;
            for (std::uint16_t i = 0; i < n && ar.Ok(); ++i) {
                std::int32_t v = 0;
                if (ar.ReadInt(v)) values.push_back(v);
            }
        }
    }
    std::vector<std::int32_t> values;

protected:
    NumbersDoc() = default;
};

// A document that outlives its views while clients hold it, the way a channel does.
class HeldDoc : public NumbersDoc {
public:
    static std::unique_ptr<CDocument> Create() { return std::unique_ptr<CDocument>(new HeldDoc); }
    void OnCloseDocument() override {
        bool keep = HasClients();
        bool autoDelete = GetAutoDelete();
        if (keep) SetAutoDelete(false);
        CDocument::OnCloseDocument();
        if (keep) SetAutoDelete(autoDelete);
    }
};

const DocumentClass kNumbersClass{"NumbersDoc", 0, &NumbersDoc::Create};
const DocumentClass kHeldClass{"HeldDoc", 0xFFFF, &HeldDoc::Create};

class RecordingView : public CView {
public:
    void OnUpdate(CView* sender, long hint) override { updates.push_back({sender, hint}); }
    void OnDocumentClosing() override { ++closing; }
    std::vector<std::pair<CView*, long>> updates;
    int closing = 0;
};

// A scratch folder as a path.
struct TempDir {
    tolvan::test::ScratchDir scratch;
    const fs::path path{scratch.path()};
};

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_destroyed = 0;
        TheFrameworkUi() = FrameworkUi{};
        TheFrameworkUi().showError = [this](const std::string& m) { errors.push_back(m); };
    }
    void TearDown() override { TheFrameworkUi() = FrameworkUi{}; }
    std::vector<std::string> errors;
};

}  // namespace

TEST_F(DocumentTest, UntitledDocumentsAreNumberedAlsoWhenInvisible) {
    CDocTemplate t(
        3, kNumbersClass,
        "\nRiVo32\nVoVavu Document\nVoVavu Files (*.ccf)\n.ccf\nRiVo32.Document\nVoVavu Document");
    CDocument* a = t.OpenDocumentFile(nullptr, false);
    CDocument* b = t.OpenDocumentFile(nullptr, true);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->GetTitle(), "RiVo321");
    EXPECT_EQ(b->GetTitle(), "RiVo322");
    EXPECT_EQ(t.GetUntitledCount(), 2u);
    EXPECT_EQ(t.GetDocuments(), (std::vector<CDocument*>{a, b}));

    CDocTemplate noName(9, kNumbersClass, "\n\nX\n");
    EXPECT_EQ(noName.OpenDocumentFile(nullptr, false)->GetTitle(), "Untitled");
}

TEST_F(DocumentTest, TemplateFieldsComeFromTheStringTableWithProgramFirst) {
    static const StringEntry lib[] = {
        {4711, "\nLibDoc\nLib Document\nLib Files (*.lib)\n.lib\nLib.Document\nLib Document"},
        {4712, "library text"}};
    static const StringEntry prog[] = {{4712, "program text"}};
    StringRegistration libReg(StringSource::Library, lib);
    {
        StringRegistration progReg(StringSource::Program, prog);
        EXPECT_EQ(LoadString(4712), "program text");
    }
    EXPECT_EQ(LoadString(4712), "library text");  // the program's text went with its registration

    CDocTemplate t(4711, kNumbersClass);
    EXPECT_EQ(t.GetDocString(CDocTemplate::windowTitle), "");
    EXPECT_EQ(t.GetDocString(CDocTemplate::docName), "LibDoc");
    EXPECT_EQ(t.GetDocString(CDocTemplate::filterName), "Lib Files (*.lib)");
    EXPECT_EQ(t.GetDocString(CDocTemplate::regFileTypeName), "Lib Document");
    EXPECT_TRUE(t.MatchesExtension("/x/y/LIST.LIB"));
    EXPECT_FALSE(t.MatchesExtension("lib"));

    std::string missing = "unchanged";
    EXPECT_FALSE(LoadString(4713, missing));
    EXPECT_EQ(missing, "unchanged");
}

TEST_F(DocumentTest, ViewsGetHintsExceptTheSenderAndDetachOnDestruction) {
    CDocTemplate t(1, kNumbersClass, "\nN\n");
    CDocument* doc = t.OpenDocumentFile(nullptr, true);
    auto v1 = std::make_unique<RecordingView>();
    auto v2 = std::make_unique<RecordingView>();
    doc->AddView(v1.get());
    doc->AddView(v2.get());
    EXPECT_EQ(v1->GetDocument(), doc);

    doc->UpdateAllViews(v1.get(), 4);
    doc->UpdateAllViews(nullptr, 1);
    EXPECT_EQ(v1->updates, (std::vector<std::pair<CView*, long>>{{nullptr, 1}}));
    EXPECT_EQ(v2->updates, (std::vector<std::pair<CView*, long>>{{v1.get(), 4}, {nullptr, 1}}));

    v1.reset();  // first view gone: the document stays
    EXPECT_EQ(t.GetDocumentCount(), 1u);
    EXPECT_EQ(doc->GetViews().size(), 1u);
    v2.reset();  // last view gone: the document closes and is destroyed
    EXPECT_EQ(t.GetDocumentCount(), 0u);
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(DocumentTest, ClosingTellsViewsWhichOutliveTheDocumentSafely) {
    CDocTemplate t(1, kNumbersClass, "\nN\n");
    CDocument* doc = t.OpenDocumentFile(nullptr, true);
    RecordingView view;
    doc->AddView(&view);
    doc->OnCloseDocument();
    EXPECT_EQ(view.closing, 1);
    EXPECT_EQ(view.GetDocument(), nullptr);
    EXPECT_EQ(g_destroyed, 1);
}  // the view's destructor must not touch the destroyed document (sanitizer build checks)

TEST_F(DocumentTest, ClientReferencesKeepAViewlessDocumentAndTheLastReleaseClosesIt) {
    CDocTemplate t(1, kHeldClass, "\nH\n");
    // A client creates an invisible document and holds one reference.
    CDocument* doc = t.OpenDocumentFile(nullptr, false);
    EXPECT_FALSE(doc->HasClients());
    doc->ExternalAddRef();
    EXPECT_TRUE(doc->HasClients());
    EXPECT_EQ(doc->ExternalAddRef(), 3u);
    EXPECT_EQ(doc->ExternalRelease(), 2u);
    EXPECT_EQ(t.GetDocumentCount(), 1u);

    // Shown, then its window closed while the client still holds it: it survives.
    auto view = std::make_unique<RecordingView>();
    doc->AddView(view.get());
    view.reset();
    ASSERT_EQ(t.GetDocumentCount(), 1u);
    EXPECT_TRUE(doc->GetAutoDelete());

    EXPECT_EQ(doc->ExternalRelease(), 1u);  // the last client lets go
    EXPECT_EQ(t.GetDocumentCount(), 0u);
    EXPECT_EQ(g_destroyed, 1);
}

TEST_F(DocumentTest, ADocumentWithAWindowOutlivesItsClient) {
    CDocTemplate t(1, kHeldClass, "\nH\n");
    CDocument* doc = t.OpenDocumentFile(nullptr, false);
    doc->ExternalAddRef();
    RecordingView view;
    doc->AddView(&view);
    doc->ExternalRelease();  // the user has a window on it: it stays
    EXPECT_EQ(t.GetDocumentCount(), 1u);
    doc->RemoveView(&view);  // the user closes it
    EXPECT_EQ(t.GetDocumentCount(), 0u);
}

TEST_F(DocumentTest, SaveAndOpenThroughFilesAndFailures) {
    TempDir dir;
    CDocManager mgr;
    CDocTemplate& t = mgr.AddDocTemplate(
        std::make_unique<CDocTemplate>(1, kNumbersClass, "\nNum\nNum Doc\nNum (*.num)\n.num\n"));
    auto* doc = static_cast<NumbersDoc*>(t.OpenDocumentFile(nullptr, true));
    doc->values = {1, -2, 300000};
    doc->SetModifiedFlag();
    std::string path = (dir.path / "a.num").string();
    ASSERT_TRUE(doc->DoSave(path));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->GetPathName(), path);
    EXPECT_EQ(doc->GetTitle(), "a.num");
    EXPECT_EQ(fs::file_size(path), 2u + 3 * 4);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()),
              1);  // no temp file left

    // Opening the same path again gives the open document.
    EXPECT_EQ(mgr.OpenDocumentFile(path), doc);
    doc->OnCloseDocument();

    auto* back = static_cast<NumbersDoc*>(mgr.OpenDocumentFile(path));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->values, (std::vector<std::int32_t>{1, -2, 300000}));
    EXPECT_FALSE(back->IsModified());

    // A truncated file fails the open, is reported, and leaves no document behind.
    { std::ofstream(dir.path / "cut.num", std::ios::binary) << std::string("\x03\x00\x01\x00", 4); }
    std::size_t before = t.GetDocumentCount();
    EXPECT_EQ(mgr.OpenDocumentFile((dir.path / "cut.num").string()), nullptr);
    EXPECT_EQ(t.GetDocumentCount(), before);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("end of file"), std::string::npos);

    // A save into a missing folder fails and keeps the document modified.
    back->SetModifiedFlag();
    EXPECT_FALSE(back->OnSaveDocument((dir.path / "no" / "such.num").string()));
    EXPECT_TRUE(back->IsModified());
    EXPECT_EQ(errors.size(), 2u);
}

TEST_F(DocumentTest, SaveModifiedFollowsTheUsersAnswer) {
    TempDir dir;
    CDocTemplate t(1, kNumbersClass, "\nNum\n");
    auto* doc = static_cast<NumbersDoc*>(t.OpenDocumentFile(nullptr, true));
    EXPECT_TRUE(doc->CanCloseFrame(true));  // unmodified: nothing asked
    doc->values = {5};
    doc->SetModifiedFlag();
    EXPECT_TRUE(doc->CanCloseFrame(false));  // other frames remain: nothing asked

    SaveAnswer answer = SaveAnswer::Cancel;
    int asked = 0;
    TheFrameworkUi().askSaveChanges = [&](CDocument&) {
        ++asked;
        return answer;
    };
    EXPECT_FALSE(doc->CanCloseFrame(true));
    answer = SaveAnswer::Save;
    TheFrameworkUi().askSavePath = [](CDocument&) { return std::optional<std::string>(); };
    EXPECT_FALSE(doc->SaveModified());  // Save As cancelled
    std::string path = (dir.path / "s.num").string();
    TheFrameworkUi().askSavePath = [&](CDocument&) { return std::optional<std::string>(path); };
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(asked, 3);
}

TEST_F(DocumentTest, ManagerFindsTemplatesAndFrameFailureDropsTheDocument) {
    CDocManager mgr;
    auto& a = mgr.AddDocTemplate(
        std::make_unique<CDocTemplate>(1, kNumbersClass, "\nRiVo32\n\n\n.ccf\n"));
    auto& b = mgr.AddDocTemplate(
        std::make_unique<CDocTemplate>(5, kNumbersClass, "\nRuVido\n\n\n.lst\n"));
    EXPECT_EQ(mgr.FindTemplateByDocName("RuVido"), &b);
    EXPECT_EQ(mgr.FindTemplateForPath("x.CCF"), &a);
    EXPECT_EQ(mgr.FindTemplateForPath("x.txt"), nullptr);

    int frames = 0;
    b.SetFrameFactory([&](CDocTemplate&, CDocument&) { return ++frames > 1; });
    EXPECT_EQ(b.OpenDocumentFile(nullptr, true), nullptr);
    EXPECT_EQ(b.GetDocumentCount(), 0u);
    EXPECT_EQ(errors.size(), 1u);
    CDocument* d = b.OpenDocumentFile(nullptr, true);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(mgr.FindTemplateOf(d), &b);
    EXPECT_EQ(mgr.GetOpenDocumentCount(), 1u);
    mgr.CloseAllDocuments();
    EXPECT_EQ(mgr.GetOpenDocumentCount(), 0u);

    // At exit, documents still held by clients go with their templates; their views are told.
    auto& held = mgr.AddDocTemplate(std::make_unique<CDocTemplate>(6, kHeldClass, "\nH\n"));
    CDocument* h = held.OpenDocumentFile(nullptr, false);
    h->ExternalAddRef();
    RecordingView view;
    h->AddView(&view);
    g_destroyed = 0;
    mgr.RemoveAllTemplates();
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(view.closing, 1);
    EXPECT_EQ(view.GetDocument(), nullptr);
    EXPECT_TRUE(mgr.GetTemplates().empty());
}

TEST(AppLock, LastUnlockRunsTheHandlerOnce) {
    int quits = 0;
    SetLastUnlockHandler([&] { ++quits; });
    {
        AppLock a;
        AppLock b;
        EXPECT_EQ(AppLockCount(), 2);
    }
    EXPECT_EQ(quits, 1);
    UnlockApp();  // unbalanced: ignored
    EXPECT_EQ(AppLockCount(), 0);
    EXPECT_EQ(quits, 1);
    SetLastUnlockHandler(nullptr);
}
