<?php
// PHP's odbc extension with parameters against velora-server through
// unixODBC: odbc_prepare and odbc_execute with an integer, a text, a NULL
// and a date, read back. Run by run_with_server.sh, which sets VELORA_DSN.
$failures = [];
function check($what, $got, $want) {
    global $failures;
    if ($got !== $want) $failures[] = "$what: got " . var_export($got, true) . ", want " . var_export($want, true);
}

$cn = odbc_connect('DSN=' . getenv('VELORA_DSN'), 'tester', 'secret');
if (!$cn) {
    echo "FAIL connect: " . odbc_errormsg() . "\n";
    exit(1);
}
odbc_exec($cn, 'CREATE TABLE p (i INTEGER, s VARCHAR(20), n INTEGER, d DATE)');
$ins = odbc_prepare($cn, 'INSERT INTO p VALUES (?, ?, ?, ?)');
check('prepare', $ins !== false, true);
check('execute', odbc_execute($ins, [7, "s\u{e9}ven", null, '2024-02-29']), true);
check('execute twice', odbc_execute($ins, [8, 'eight', 3, '1996-05-01']), true);
$sel = odbc_prepare($cn, 'SELECT i, s, n, d FROM p WHERE i >= ? ORDER BY i');
odbc_execute($sel, [7]);
$rows = [];
while ($row = odbc_fetch_array($sel)) $rows[] = implode('|', array_map(fn($v) => $v ?? 'NULL', $row));
check('rows', $rows, ["7|s\u{e9}ven|NULL|2024-02-29", '8|eight|3|1996-05-01']);
odbc_close($cn);

foreach ($failures as $f) echo "FAIL $f\n";
echo 'PHP parameters: ' . ($failures ? count($failures) . ' failures' : 'OK') . "\n";
exit($failures ? 1 : 0);
