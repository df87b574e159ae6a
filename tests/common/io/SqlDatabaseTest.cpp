#include "SqlTestSupport.h"

#include "support/ErrorText.h"
#include "support/TempDir.h"
#include "utility/OSUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using sqltest::Execute;
using testsupport::RuntimeErrorOf;
using sqltest::QueryInt;
using testsupport::TempDir;

namespace
{
// The text of the statement currently prepared, or "" when none is.
std::string CurrentSql(const SqlStatement& statement)
{
    sqlite3_stmt* stmt = statement;
    return stmt != nullptr ? sqlite3_sql(stmt) : "";
}

// The file's bytes without the header's change counters, which SQLite bumps
// for every write transaction even when no page changes.
std::string ContentOf(const std::string& path)
{
    std::string bytes = testsupport::ReadFileBytes(path);
    if (bytes.size() >= 100)
    {
        bytes.replace(24, 4, 4, '\0');
        bytes.replace(92, 4, 4, '\0');
    }
    return bytes;
}

bool SameFile(const std::string& path, const std::string& bytes)
{
    return testsupport::ReadFileBytes(path) == bytes;
}
} // namespace

TEST(SqlDatabase, NewFileGetsPragmasAndOneVersionRow)
{
    TempDir dir;
    const std::string path = dir.File("new.db");
    {
        SqlDatabase db(path);
        EXPECT_EQ(db.GetPath(), path);
        std::vector<int> settings;
        for (const char* pragma : {"auto_vacuum", "page_size", "synchronous", "temp_store"})
            settings.push_back(QueryInt(db, std::string("PRAGMA ") + pragma + ";"));
        EXPECT_EQ(settings, (std::vector<int>{1, 4096, 0, 2}));
        EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM version;"), 1);
        EXPECT_EQ(QueryInt(db, "SELECT version FROM version;"), 1);
    }

    // Opening again finds version 1 and changes no page of the file.
    const std::string before = ContentOf(path);
    ASSERT_FALSE(before.empty());
    {
        SqlDatabase again;
        again.Open(path);
        EXPECT_EQ(QueryInt(again, "SELECT count(*) FROM version;"), 1);
    }
    EXPECT_TRUE(ContentOf(path) == before);
}

TEST(SqlDatabase, OtherVersionIsReplacedAndOtherTablesKeepTheirRows)
{
    TempDir dir;
    const std::string path = dir.File("old.db");
    {
        SqlDatabase db(path);
        Execute(db, "CREATE TABLE genes (id INTEGER);INSERT INTO genes VALUES (7);INSERT INTO genes VALUES (9);"
                    "UPDATE version SET version = 2;");
    }
    SqlDatabase db(path);
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM version;"), 1);
    EXPECT_EQ(QueryInt(db, "SELECT version FROM version;"), 1);
    EXPECT_EQ(QueryInt(db, "SELECT sum(id) FROM genes;"), 16);
}

TEST(SqlDatabase, CopyOpensItsOwnConnectionWithTheSameAccess)
{
    TempDir dir;
    const std::string path = dir.File("copy.db");
    SqlDatabase original(path);
    SqlDatabase copy(original);
    EXPECT_TRUE(copy.IsOpen());
    EXPECT_EQ(copy.GetPath(), path);
    EXPECT_NE(static_cast<sqlite3*>(copy), static_cast<sqlite3*>(original));
    Execute(original, "CREATE TABLE shared (x INTEGER);");
    EXPECT_TRUE(copy.TableExists("shared"));

    SqlDatabase readOnly;
    readOnly.OpenReadOnly(path);
    SqlDatabase readOnlyCopy(readOnly);
    EXPECT_TRUE(readOnlyCopy.IsReadOnly());
    EXPECT_NE(RuntimeErrorOf([&] { Execute(readOnlyCopy, "CREATE TABLE t (x);"); }), "");

    SqlDatabase closed;
    SqlDatabase closedCopy(closed);
    EXPECT_FALSE(closedCopy.IsOpen());
}

TEST(SqlDatabase, TableExistsTakesAnyNameLiterally)
{
    TempDir dir;
    SqlDatabase db(dir.File("names.db"));
    EXPECT_FALSE(db.TableExists("x' OR '1'='1"));
    Execute(db, "CREATE TABLE \"it's\" (x INTEGER);");
    EXPECT_TRUE(db.TableExists("it's"));
    EXPECT_FALSE(db.TableExists("its"));
}

TEST(SqlStatement, WalksAScriptOneStatementAtATime)
{
    TempDir dir;
    SqlDatabase db(dir.File("walk.db"));
    SqlStatement script(&db, "CREATE TABLE t (a INTEGER);  INSERT INTO t VALUES (5);\n"
                             "-- a comment between statements\n ;; SELECT a FROM t; \n\t ");
    EXPECT_EQ(CurrentSql(script), "") << "nothing is prepared before PrepareNext";
    EXPECT_FALSE(script.Step());

    ASSERT_TRUE(script.PrepareNext());
    EXPECT_EQ(CurrentSql(script), "CREATE TABLE t (a INTEGER);");
    EXPECT_FALSE(db.TableExists("t")) << "preparing does not run the statement";
    EXPECT_FALSE(script.Step());
    EXPECT_TRUE(db.TableExists("t"));

    ASSERT_TRUE(script.PrepareNext());
    EXPECT_EQ(CurrentSql(script), "INSERT INTO t VALUES (5);");
    EXPECT_FALSE(script.Step());

    ASSERT_TRUE(script.PrepareNext());
    const std::string select = CurrentSql(script);
    EXPECT_EQ(select.substr(select.size() - 16), "SELECT a FROM t;") << select;
    ASSERT_TRUE(script.Step());
    EXPECT_EQ(sqlite3_column_int(script, 0), 5);
    EXPECT_FALSE(script.Step());

    EXPECT_FALSE(script.PrepareNext()) << "trailing white space ends the walk";
    EXPECT_EQ(CurrentSql(script), "");
    EXPECT_FALSE(script.PrepareNext());

    SqlStatement blank(&db, " \n-- only a comment\n");
    EXPECT_FALSE(blank.PrepareNext());

    // ExecuteAll runs every statement, rows and all, a last one without ";" too.
    SqlStatement all(&db, "SELECT 1;INSERT INTO t VALUES (1);SELECT * FROM t;INSERT INTO t VALUES (2)");
    all.ExecuteAll();
    EXPECT_EQ(CurrentSql(all), "");
    EXPECT_EQ(QueryInt(db, "SELECT sum(a) FROM t;"), 8);
}

TEST(SqlStatement, ErrorsCarrySqlitesMessageAndLeaveObjectsUsable)
{
    TempDir dir;
    SqlDatabase db(dir.File("errors.db"));
    Execute(db, "CREATE TABLE t (a INTEGER PRIMARY KEY);INSERT INTO t VALUES (1);");

    SqlStatement syntax(&db, "SELEC 1;");
    EXPECT_EQ(RuntimeErrorOf([&] { syntax.PrepareNext(); }), "near \"SELEC\": syntax error");
    EXPECT_EQ(CurrentSql(syntax), "");

    EXPECT_EQ(RuntimeErrorOf([&] { QueryInt(db, "SELECT x FROM missing;"); }), "no such table: missing");

    // A failing statement stops a script: what came before stays, what follows never runs.
    SqlStatement script(&db, "INSERT INTO t VALUES (2);INSERT INTO t VALUES (1);INSERT INTO t VALUES (3);");
    EXPECT_EQ(RuntimeErrorOf([&] { script.ExecuteAll(); }), "UNIQUE constraint failed: t.a");
    EXPECT_EQ(CurrentSql(script), "");
    EXPECT_EQ(QueryInt(db, "SELECT group_concat(a) FROM t;"), 1);
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM t;"), 2);

    // The database goes on working after the failures.
    Execute(db, "INSERT INTO t VALUES (4);");
    EXPECT_EQ(QueryInt(db, "SELECT count(*) FROM t;"), 3);

    SqlDatabase closed;
    SqlStatement onClosed(&closed, "SELECT 1;");
    EXPECT_EQ(RuntimeErrorOf([&] { onClosed.PrepareNext(); }), "The database is not open.");
    EXPECT_EQ(RuntimeErrorOf([&] { closed.TableExists("version"); }), "The database is not open.");
}

TEST(SqlDatabase, FailedOpenLeavesTheDatabaseClosedAndReusable)
{
    TempDir dir;
    const std::string text = dir.File("notes.txt");
    ASSERT_TRUE(testsupport::WriteFileBytes(text, std::string(2048, 'x')));
    const std::string missing = dir.File("GLM.db");
    for (const bool readOnly : {false, true})
    {
        SCOPED_TRACE(readOnly ? "read-only" : "read-write");
        SqlDatabase db;
        const auto openError = [&](const std::string& path) {
            return RuntimeErrorOf([&] { readOnly ? db.OpenReadOnly(path) : db.Open(path); });
        };
        // A read-only open of a missing file creates nothing.
        EXPECT_EQ(openError(readOnly ? missing : dir.File("no/such/folder/x.db")), "Could not open database.");
        EXPECT_FALSE(db.IsOpen());
        EXPECT_EQ(db.GetPath(), "");
        EXPECT_EQ(openError(text), "file is not a database");
        EXPECT_FALSE(db.IsOpen());
        EXPECT_EQ(db.GetPath(), "");
        EXPECT_TRUE(SameFile(text, std::string(2048, 'x')));
    }
    EXPECT_FALSE(OSUtils::FileExists(missing.c_str()));

    SqlDatabase db;
    db.Open(dir.File("good.db"));
    EXPECT_TRUE(db.IsOpen());
    // Opening another file replaces the connection.
    db.Open(dir.File("other.db"));
    EXPECT_EQ(db.GetPath(), dir.File("other.db"));
    EXPECT_TRUE(db.TableExists("version"));
}

TEST(SqlDatabase, ReadOnlyOpenNeverWritesTheFile)
{
    TempDir dir;
    const std::string path = dir.File("shipped.db");
    {
        // A shipped database has no version table.
        SqlDatabase shipped(path);
        Execute(shipped, "DROP TABLE version;CREATE TABLE data (x INTEGER);INSERT INTO data VALUES (3);");
    }
    const std::string before = testsupport::ReadFileBytes(path);

    SqlDatabase db;
    db.OpenReadOnly(path);
    EXPECT_TRUE(db.IsOpen());
    EXPECT_TRUE(db.IsReadOnly());
    EXPECT_EQ(db.GetPath(), path);
    EXPECT_FALSE(db.TableExists("version"));
    EXPECT_EQ(QueryInt(db, "SELECT x FROM data;"), 3);
    EXPECT_EQ(RuntimeErrorOf([&] { Execute(db, "INSERT INTO data VALUES (4);"); }),
              "attempt to write a readonly database");
    EXPECT_EQ(RuntimeErrorOf([&] { db.CreateVersionTable(); }),
              "The database was opened read-only and cannot be changed.");
    db.Close();
    EXPECT_TRUE(SameFile(path, before)) << "not even the change counter moves";

    SqlDatabase constructed(path, SqlDatabase::Access::ReadOnly);
    EXPECT_EQ(QueryInt(constructed, "SELECT count(*) FROM data;"), 1);
}

TEST(SqlDatabase, BusyDatabaseFailsAfterBoundedRetries)
{
    TempDir dir;
    const std::string path = dir.File("busy.db");
    SqlDatabase writer(path);
    Execute(writer, "CREATE TABLE t (a INTEGER);BEGIN EXCLUSIVE;INSERT INTO t VALUES (1);");

    SqlDatabase reader;
    reader.SetBusyTimeout(0);
    EXPECT_EQ(RuntimeErrorOf([&] { reader.OpenReadOnly(path); }), "database is locked");
    EXPECT_FALSE(reader.IsOpen());

    Execute(writer, "COMMIT;");
    reader.OpenReadOnly(path);
    EXPECT_EQ(reader.GetBusyTimeout(), 0);

    Execute(writer, "BEGIN EXCLUSIVE;");
    EXPECT_EQ(RuntimeErrorOf([&] { QueryInt(reader, "SELECT count(*) FROM t;"); }), "database is locked");
    Execute(writer, "ROLLBACK;");
    EXPECT_EQ(QueryInt(reader, "SELECT count(*) FROM t;"), 1);
}
