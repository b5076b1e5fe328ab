<?php
// PHP PDO_ODBC with its default options against velora-server through
// unixODBC: it fetches only through SQLFetchScroll. Connects by data source
// and by driver name, fetches one, many and all rows, non-ASCII text,
// nextRowset, and a server error as an exception with its SQLSTATE.
// Run by run_with_server.sh, which sets VELORA_DSN and ODBCINI.
$failures = [];
function check($what, $got, $want) {
    global $failures;
    if ($got !== $want) $failures[] = "$what: got " . var_export($got, true) . ", want " . var_export($want, true);
}

$dsn = getenv('VELORA_DSN');
$db = new PDO("odbc:DSN=$dsn;User=tester;Password=no");
$db->setAttribute(PDO::ATTR_ERRMODE, PDO::ERRMODE_EXCEPTION);
$st = $db->query("SELECT id, c_varchar, c_integer FROM all_types ORDER BY id");
check("column count", $st->columnCount(), 3);
check("first row", $st->fetch(PDO::FETCH_NUM), ["1", "hello world", "-123456"]);
check("second row", $st->fetch(PDO::FETCH_NUM), ["2", null, null]);
check("after the last row", $st->fetch(PDO::FETCH_NUM), false);
check("all rows", $db->query("SELECT id FROM all_types ORDER BY id")->fetchAll(PDO::FETCH_COLUMN), ["1", "2"]);

$text = "h\u{e9}llo \u{65e5}\u{672c} \u{1F600}";
$db->exec("CREATE TABLE pdo_text (t VARCHAR(40))");
$db->exec("INSERT INTO pdo_text VALUES ('$text')");
$st = $db->query("SELECT t FROM pdo_text");
check("non-ASCII text", $st->fetchColumn(), $text);
check("next rowset", $st->nextRowset(), false);

try {
    $db->query("SELECT nope FROM nowhere");
    $failures[] = "no exception for a missing table";
} catch (PDOException $e) {
    check("server error", $e->getCode(), "42S02");
}

// Without a data source: everything from the string.
preg_match('/Service\s*=\s*(\d+)/', file_get_contents(getenv('ODBCINI')), $m);
$bare = new PDO("odbc:DRIVER={Velora ODBC};Server=127.0.0.1;Service=$m[1];UID=tester;PWD=secret");
check("without a data source", $bare->query("SELECT COUNT(*) FROM all_types")->fetchColumn(), "2");

foreach ($failures as $f) fwrite(STDERR, "FAIL $f\n");
exit($failures ? 1 : 0);
