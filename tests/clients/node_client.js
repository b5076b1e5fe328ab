// Node.js's npm package odbc against the Unicode driver: connect, a query
// with parameters, non-ASCII text both ways, a transaction rolled back and
// one committed; its way of inserting many rows: one prepared statement
// bound and executed once per row (the package binds no arrays of
// parameters); the query timeout and a statement's cancel stop an
// endless query. Every statement is closed before its connection, also
// when its work fails: the package frees a statement left open from its
// garbage collector, after SQLDisconnect has freed it, and the driver
// manager may crash on that handle. Run by node_client.sh under
// run_with_server.sh, which sets VELORA_DSN.
const odbc = require('odbc');

const TEXT = 'h\u00e9llo \u65e5\u672c \u{1F600}';
const failures = [];
// Runs work(stmt) on a new statement and closes the statement whatever
// the work's outcome.
async function withStatement(conn, work) {
  const stmt = await conn.createStatement();
  try {
    return await work(stmt);
  } finally {
    await stmt.close();
  }
}

function check(what, got, want) {
  const g = JSON.stringify(got);
  const w = JSON.stringify(want);
  if (g !== w) failures.push(`${what}: got ${g}, want ${w}`);
}

// The timeout option stops an endless query on the server ("HYT00"); a
// statement's cancel from the main thread while its execution waits in the
// thread pool stops it ("HY008", asked again until the execution ends: it
// may not have started yet); the connection goes on each time.
async function stopped(conn) {
  const endless = 'WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT COUNT(*) FROM r';
  const state = (p) => p.then(() => 'finished', (e) => (e.odbcErrors || [e]).map((r) => r.state).join(' '));
  check('timeout', await state(conn.query(endless, { timeout: 1 })), 'HYT00');
  check('after timeout', (await conn.query('SELECT 7 AS n'))[0].n, 7);
  await withStatement(conn, async (stmt) => {
    await stmt.prepare(endless);
    const timer = setInterval(() => stmt.cancel().catch(() => {}), 300);
    const got = await state(stmt.execute({ timeout: 20 }));
    clearInterval(timer);
    check('cancel', got, 'HY008');
  });
  check('after cancel', (await conn.query('SELECT 8 AS n'))[0].n, 8);
}

async function main() {
  const conn = await odbc.connect(`DSN=${process.env.VELORA_DSN}`);
  await conn.query('CREATE TABLE node_t (id INTEGER PRIMARY KEY, t VARCHAR(100))');
  await conn.query('INSERT INTO node_t VALUES (?, ?)', [1, TEXT]);
  await conn.query(`INSERT INTO node_t VALUES (2, '${TEXT}')`);
  const rows = await conn.query('SELECT id, t FROM node_t WHERE id >= ? ORDER BY id', [1]);
  check('rows', rows.map((r) => [r.id, r.t]), [[1, TEXT], [2, TEXT]]);
  check('bytes', Buffer.from(rows[0].t, 'utf8').toString('hex'), Buffer.from(TEXT, 'utf8').toString('hex'));
  check('columns', rows.columns.map((c) => c.name), ['id', 't']);

  await conn.beginTransaction();
  await conn.query('INSERT INTO node_t VALUES (?, ?)', [3, 'dropped']);
  await conn.rollback();
  await conn.beginTransaction();
  await conn.query('INSERT INTO node_t VALUES (?, ?)', [4, 'kept']);
  await conn.commit();
  const ids = await conn.query('SELECT id FROM node_t ORDER BY id');
  check('transactions', ids.map((r) => r.id), [1, 2, 4]);

  await conn.query('CREATE TABLE node_bulk (id INTEGER, name VARCHAR(20))');
  await conn.beginTransaction();
  await withStatement(conn, async (insert) => {
    await insert.prepare('INSERT INTO node_bulk VALUES (?, ?)');
    for (let id = 1; id <= 1000; id += 1) {
      await insert.bind([id, `name_${id}`]);
      await insert.execute();
    }
  });
  await conn.commit();
  const sums = await conn.query('SELECT COUNT(*) AS n, SUM(id) AS s, COUNT(DISTINCT name) AS d FROM node_bulk');
  check('bulk', [sums[0].n, sums[0].s, sums[0].d].map(Number), [1000, 500500, 1000]);
  await stopped(conn);
  await conn.close();
}

main().then(
  () => {
    for (const f of failures) console.log(f);
    process.exit(failures.length ? 1 : 0);
  },
  (e) => {
    console.log(`FAIL ${e.message} ${JSON.stringify(e.odbcErrors || [])}`);
    process.exit(1);
  },
);
