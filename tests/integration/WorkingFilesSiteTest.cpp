// The program's own files in a copy (unfinished bodies, rewrite and index temporaries, the index)
// never share a name with a file of the site, and those a killed run left are removed.
#include "integration/CrawlTestSupport.h"

#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;

class WorkingFilesSiteTest : public TCrawlTestBase {
protected:
    // Runs the job once more; its end code (0 when it never ended).
    int32_t RunOnce()
    {
        const size_t ends = engine_.OfType(OUTMSG_JOB_ENDED).size();
        StartJob();
        if (!engine_.WaitForCount(OUTMSG_JOB_ENDED, ends + 1, std::chrono::seconds(60)))
            return 0;
        return engine_.OfType(OUTMSG_JOB_ENDED).back().resultCode;
    }
    // Serves a site whose files are named like the program's working files; every run must copy
    // each as the server has it. Returns the content of each by its local path below the host
    // folder.
    std::map<std::string, std::string> ServeLookAlikes()
    {
        struct TFile {
            std::string link;     // as the page writes it
            std::string served;   // the path the server sees
            std::string local;    // below the host folder
            std::string body;
        };
        const std::vector<TFile> files = {
            {"a.html", "/a.html", "/a.html", "<html><body>plain page</body></html>"},
            {"a.html.part", "/a.html.part", "/a.html.part", "the site's own a.html.part"},
            {"a.html%23part", "/a.html#part", "/a.html%23part", "escaped mark"},
            {"b.html?x#part#top", "/b.html", "/b.html_x_part", "query with a mark"},
            {".gltmp.Ab12Cd", "/.gltmp.Ab12Cd", "/.gltmp.Ab12Cd", "older rewrite temporary's name"},
            {".gleanery-index", "/.gleanery-index", "/.gleanery-index", "older index name"},
            {".gleanery%23index", "/.gleanery#index", "/.gleanery%23index", "index name, escaped"},
        };
        std::string index = "<html><body>";
        std::map<std::string, std::string> byPath, byLocal;
        for (const TFile& f : files) {
            index += "<a href=\"" + f.link + "\">x</a>";
            byPath[f.served] = f.body;
            byLocal[f.local] = f.body;
        }
        index += "</body></html>";
        byPath["/"] = index;
        server_.Get(".*", [byPath](const httplib::Request& req, httplib::Response& res) {
            const auto found = byPath.find(req.path);
            if (found == byPath.end()) {
                res.status = 404;
                return;
            }
            res.set_content(found->second, req.path == "/" || req.path == "/a.html" ? "text/html" : "text/plain");
        });
        return byLocal;
    }
    std::set<std::string> WorkingFilesIn(const std::string& folder) const
    {
        std::set<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.find('#') != std::string::npos)
                found.insert(entry.path().string());
        }
        return found;
    }
};

TEST_F(WorkingFilesSiteTest, FilesNamedLikeWorkingFilesAreCopiedAsTheyAreOnEveryRun)
{
    const auto expected = ServeLookAlikes();
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        job_.DownloadOptions.UpdateOldFiles = run == 2;
        ASSERT_EQ(JOB_END_COMPLETED, RunOnce());
        for (const auto& [path, body] : expected)
            EXPECT_EQ(body, ReadTextFile(Local(path))) << path;
        EXPECT_EQ((std::set<std::string>{temp_ / "site/.gleanery#index"}), WorkingFilesIn(temp_ / "site"));
    }
}

TEST_F(WorkingFilesSiteTest, FlatteningMovesLookAlikesUpAsTheyAre)
{
    const auto expected = ServeLookAlikes();
    job_.FlattenDestinationFolders = true;
    job_.PruneFolders = true;
    ASSERT_EQ(JOB_END_COMPLETED, RunOnce());
    for (const auto& [path, body] : expected)
        EXPECT_EQ(body, ReadTextFile(temp_ / "site" + path)) << path;
    EXPECT_EQ(std::set<std::string>(), WorkingFilesIn(temp_ / "site"));
}

TEST_F(WorkingFilesSiteTest, TemporariesOfAKilledRunAreRemovedAndNothingElse)
{
    server_.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body><a href=\"sub/p.html\">p</a></body></html>", "text/html");
    });
    server_.Get("/sub/p.html", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("<html><body>p</body></html>", "text/html");
    });
    ASSERT_EQ(JOB_END_COMPLETED, RunOnce());

    // What a run killed while rewriting leaves: its mark, rewrite and index temporaries, and the
    // record of a body that was completed.
    const std::string site = temp_ / "site";
    const std::vector<std::string> left = {site + "/.gleanery#temporaries", Local("/.gltmp#Ab12Cd"),
                                           Local("/sub/.gltmp#xY9zQ1"), site + "/.gleanery#index.tmp4711",
                                           Local("/sub/p.html#info")};
    // What stays: an unfinished body with its record, files of the site or the user that are not
    // the program's, and anything behind a symbolic link.
    const std::string outside = temp_ / "outside";
    fs::create_directories(outside);
    fs::create_symlink(outside, Local("/linked"));
    const std::vector<std::string> kept = {Local("/sub/q.html#part"), Local("/sub/q.html#info"),
                                           Local("/.gltmp.Ab12Cd"), Local("/notes#1.txt"),
                                           outside + "/.gltmp#Ab12Cd", Local("/sub/p.html")};
    for (const std::string& file : left)
        if (!Exists(file))
            WriteTextFile(file, "left");
    for (const std::string& file : kept)
        if (!Exists(file))
            WriteTextFile(file, "kept");

    ASSERT_EQ(JOB_END_COMPLETED, RunOnce());
    for (const std::string& file : left)
        EXPECT_FALSE(Exists(file)) << file;
    for (const std::string& file : kept)
        EXPECT_TRUE(Exists(file)) << file;
    EXPECT_EQ("<html><body>p</body></html>", ReadTextFile(Local("/sub/p.html")));
}

}  // namespace
