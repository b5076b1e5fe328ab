<?php
// PHP against velora-server through unixODBC. The odbc extension:
// odbc_prepare and odbc_execute with an integer, non-ASCII text, a NULL and
// a date, read back; field name, row count, rollback, tables, a long value
// and a server error. PDO_ODBC with its default options (it fetches only through
// SQLFetchScroll): connects by data source and by driver name, fetches one
// and all rows, non-ASCII text (literal and parameter), a prepared
// SELECT with a parameter (no cursor library comes between: the driver
// scrolls itself; scrolling: php_scroll_client.php), row count,
// rollback, nextRowset, and a server error as an
// exception with its SQLSTATE. Run by run_with_server.sh, which sets
// VELORA_DSN and ODBCINI.
$failures = [];
function check($what, $got, $want) {
    global $failures;
    if ($got !== $want) $failures[] = "$what: got " . var_export($got, true) . ", want " . var_export($want, true);
}
$dsn = getenv('VELORA_DSN');
$text = "h\u{e9}llo \u{65e5}\u{672c} \u{1F600}";

$cn = odbc_connect("DSN=$dsn", 'tester', 'secret');
if (!$cn) { echo "FAIL connect: " . odbc_errormsg() . "\n"; exit(1); }
odbc_exec($cn, 'CREATE TABLE p (i INTEGER, s VARCHAR(20), n INTEGER, d DATE)');
$ins = odbc_prepare($cn, 'INSERT INTO p VALUES (?, ?, ?, ?)');
check('execute', odbc_execute($ins, [7, $text, null, '2024-02-29']), true);
check('execute twice', odbc_execute($ins, [8, 'eight', 3, '1996-05-01']), true);
$sel = odbc_prepare($cn, 'SELECT i, s, n, d FROM p WHERE i >= ? ORDER BY i');
odbc_execute($sel, [7]);
$rows = [];
while ($row = odbc_fetch_array($sel)) $rows[] = implode('|', array_map(fn($v) => $v ?? 'NULL', $row));
check('field name', odbc_field_name($sel, 2), 's');
check('next result', odbc_next_result($sel), false);
check('rows', $rows, ["7|$text|NULL|2024-02-29", '8|eight|3|1996-05-01']);
check('row count', odbc_num_rows(odbc_exec($cn, 'UPDATE p SET n = 1')), 2);
odbc_autocommit($cn, false);
odbc_exec($cn, 'DELETE FROM p');
odbc_rollback($cn);
odbc_autocommit($cn, true);
check('rollback', odbc_result(odbc_exec($cn, 'SELECT COUNT(*) FROM p'), 1), '2');
check('tables', odbc_result(odbc_tables($cn, null, null, 'p'), 'TABLE_NAME'), 'p');
$long = odbc_exec($cn, 'SELECT t FROM long_values');
odbc_longreadlen($long, 20000);
check('long value', odbc_result($long, 1), implode(',', range(0, 2999)));
// The odbc extension is an ODBC 2 application: S0002, not 42S02.
check('server error', [@odbc_exec($cn, 'SELECT nope FROM nowhere'), odbc_error($cn)], [false, 'S0002']);
odbc_close($cn);

$db = new PDO("odbc:DSN=$dsn;User=tester;Password=no");
$db->setAttribute(PDO::ATTR_ERRMODE, PDO::ERRMODE_EXCEPTION);
$st = $db->query("SELECT id, c_varchar, c_integer FROM all_types ORDER BY id");
check("column count", $st->columnCount(), 3);
check("first row", $st->fetch(PDO::FETCH_NUM), ["1", "hello world", "-123456"]);
check("rest", $st->fetchAll(PDO::FETCH_NUM), [["2", null, null]]);
$st = $db->prepare("SELECT id FROM all_types WHERE id >= ? ORDER BY id");
$st->execute([1]);
check("prepared with a parameter", $st->fetchAll(PDO::FETCH_COLUMN), ["1", "2"]);
$db->exec("CREATE TABLE pdo_text (t VARCHAR(40))");
$db->exec("INSERT INTO pdo_text VALUES ('$text')");
$db->prepare("INSERT INTO pdo_text VALUES (?)")->execute([$text]);
check("row count", $db->exec("UPDATE pdo_text SET t = t"), 2);
$db->beginTransaction();
$db->exec("DELETE FROM pdo_text");
$db->rollBack();
$st = $db->query("SELECT t FROM pdo_text");
check("non-ASCII text", $st->fetchAll(PDO::FETCH_COLUMN), [$text, $text]);
check("next rowset", $st->nextRowset(), false);
try {
    $db->query("SELECT nope FROM nowhere");
    $failures[] = "no exception for a missing table";
} catch (PDOException $e) {
    check("server error", $e->getCode(), "42S02");
}
// Without a data source: everything from the string.
preg_match('/Service\s*=\s*(\d+)/', file_get_contents(getenv('ODBCINI')), $m);
$bare = new PDO("odbc:DRIVER={" . getenv("VELORA_DRIVER") . "};Server=127.0.0.1;Service=$m[1];UID=tester;PWD=secret");
check("without a data source", $bare->query("SELECT COUNT(*) FROM all_types")->fetchColumn(), "2");

foreach ($failures as $f) echo "FAIL $f\n";
echo 'PHP client: ' . ($failures ? count($failures) . ' failures' : 'OK') . "\n";
exit($failures ? 1 : 0);
