<?php
// PHP's PDO with its default options over the Unicode library: a
// scrollable statement (PDO::CURSOR_SCROLL, the driver's static cursor)
// with a parameter, fetched last, prior and by position, then all rows.
// Run by run_with_server.sh, which sets VELORA_DSN.
$dsn = getenv('VELORA_DSN');
$db = new PDO("odbc:DSN=$dsn;User=tester;Password=no", null, null,
              [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);
$st = $db->prepare("SELECT id, c_varchar FROM all_types WHERE id >= ? ORDER BY id",
                   [PDO::ATTR_CURSOR => PDO::CURSOR_SCROLL]);
$st->execute([1]);
$got = [];
foreach ([[PDO::FETCH_ORI_LAST, 0], [PDO::FETCH_ORI_PRIOR, 0], [PDO::FETCH_ORI_ABS, 2],
          [PDO::FETCH_ORI_ABS, 0], [PDO::FETCH_ORI_ABS, -2], [PDO::FETCH_ORI_REL, 1]] as [$where, $offset])
    $got[] = $st->fetch(PDO::FETCH_NUM, $where, $offset);
$want = [["2", null], ["1", "hello world"], ["2", null], false, ["1", "hello world"], ["2", null]];
$st->execute([2]);
$got[] = $st->fetchAll(PDO::FETCH_NUM);
$want[] = [["2", null]];
if ($got !== $want) {
    echo "FAIL scrolled: got " . var_export($got, true) . "\n";
    exit(1);
}
echo "PHP scrolling client: OK\n";
