#!/usr/bin/perl
# Perl DBI with DBD::ODBC against velora-server through unixODBC: connect,
# table_info and the type information DBD::ODBC looks up, execute(@binds)
# and bind_param with SQL types, a long value, a NULL, a description, row
# count, rollback, more_results, get_info, non-ASCII text, a server error,
# the conversion's refusal reaching the application, keys and
# execute_array, odbc_query_timeout and $sth->cancel. Run by
# run_with_server.sh, which sets VELORA_DSN.
use strict;
use warnings;
use DBI qw(:sql_types);
use POSIX ();

my @failures;
sub check {
    my ($what, $got, $want) = map { defined $_ ? "'$_'" : 'undef' } @_;
    push @failures, "$_[0]: got $got, want $want" if $got ne $want;
}

my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VELORA_DSN}", 'tester', 'secret',
                       { RaiseError => 0, PrintError => 0, LongReadLen => 300000 })
    or die "FAIL connect: $DBI::state $DBI::errstr\n";
# A successful connect leaves no error behind (the driver manager's note
# about the driver's ODBC version is information only).
check('error after connect', $dbh->err ? $dbh->errstr : '', '');
my $tables = $dbh->table_info(undef, undef, 'all%', undef)->fetchall_arrayref;
check('table_info', join(' ', map { "$_->[2]/$_->[3]" } @$tables), 'all_types/TABLE all_types_view/VIEW');
check('type_info', join(' ', map { ($dbh->type_info($_))[0]{TYPE_NAME} } 12, 4, -1, -4, 11, 9, 6, -7),
      $ENV{VEL_TEST_STORAGE} ? 'VARCHAR INT4 TEXT BYTEA TIMESTAMP DATE FLOAT8 BOOL'
                             : 'VARCHAR INTEGER TEXT BLOB TIMESTAMP DATE FLOAT BIT');

$dbh->do('CREATE TABLE p (i INTEGER, b BIGINT, f FLOAT, s VARCHAR(20), d DATE, t TEXT)')
    or push @failures, "create: $DBI::errstr";
my $ins = $dbh->prepare('INSERT INTO p VALUES (?, ?, ?, ?, ?, ?)');
my $long = join(',', 0 .. 29999);
check('execute binds', $ins->execute(1, '9000000000000000001', -2.5, 'one', '2024-02-29', $long), 1);
$ins->bind_param(1, 2, SQL_INTEGER);
$ins->bind_param(2, -7, SQL_BIGINT);
$ins->bind_param(3, '1.25', SQL_DOUBLE);
$ins->bind_param(4, undef, SQL_VARCHAR);
$ins->bind_param(5, '1996-05-01', SQL_DATE);
$ins->bind_param(6, 'short', SQL_LONGVARCHAR);
check('bind_param', $ins->execute, 1);

my $rows = $dbh->selectall_arrayref('SELECT i, b, f, s, d, t FROM p ORDER BY i') // [];
check('long value', $rows->[0][5], $long);
$rows->[0][5] = length $rows->[0][5];
check('rows', join(' ', map { join('|', map { $_ // 'NULL' } @$_) } @$rows),
      "1|9000000000000000001|-2.5|one|2024-02-29|" . length($long) . ' 2|-7|1.25|NULL|1996-05-01|short');

my $sth = $dbh->prepare('SELECT i, s FROM p ORDER BY i');
$sth->execute;
check('description', "@{$sth->{NAME}} @{$sth->{TYPE}}", 'i s 4 12');
check('fetch one', join('|', $sth->fetchrow_array), '1|one');
check('more_results', $sth->more_results, undef);
$sth->finish;
check('row count', $dbh->do('UPDATE p SET s = s'), 2);
$dbh->{AutoCommit} = 0;
$dbh->do('DELETE FROM p');
$dbh->rollback;
$dbh->{AutoCommit} = 1;
check('rollback', $dbh->selectrow_array('SELECT COUNT(*) FROM p'), 2);
check('get_info', $dbh->get_info(17), 'Velora');

# Non-ASCII text (UTF-8 bytes) as a parameter and as a literal comes back unchanged.
my $text = "h\xc3\xa9llo \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80";
$dbh->do('CREATE TABLE u (t VARCHAR(40))');
$dbh->do('INSERT INTO u VALUES (?)', undef, $text);
$dbh->do("INSERT INTO u VALUES ('$text')");
check('non-ASCII', join('|', map { $_->[0] } @{ $dbh->selectall_arrayref('SELECT t FROM u') }), "$text|$text");

eval { $dbh->{RaiseError} = 1; $dbh->do('SELECT nope FROM nowhere') };
check('server error', $dbh->state, '42S02');
$dbh->{RaiseError} = 0;
$ins->bind_param(1, 'twelve', SQL_INTEGER);
check('non-numeric refused', $ins->execute, undef);
# The driver manager tells an ODBC 3 application 22005 as 22018.
check('non-numeric state', $ins->state, '22018');
# A composite primary key and a two-column foreign key to it.
$dbh->do('CREATE TABLE kp (a INTEGER NOT NULL, b INTEGER NOT NULL, PRIMARY KEY (b, a))');
$dbh->do('CREATE TABLE kf (x INTEGER, y INTEGER, FOREIGN KEY (y, x) REFERENCES kp (b, a))');
check('primary_key', join(' ', $dbh->primary_key(undef, undef, 'kp')), 'b a');
my $fk = $dbh->foreign_key_info(undef, undef, 'kp', undef, undef, undef);
check('foreign_key_info', join(' ', map { join('/', @$_[2, 3, 6, 7, 8]) } @{ $fk ? $fk->fetchall_arrayref : [] }),
      'kp/b/kf/y/1 kp/a/kf/x/2');
# execute_array: every tuple runs; the failing one has its error in its status.
$dbh->do('CREATE TABLE arr (i INTEGER PRIMARY KEY)');
my @status;
$dbh->prepare('INSERT INTO arr VALUES (?)')->execute_array({ ArrayTupleStatus => \@status }, [1, 2, 2, 3]);
check('execute_array', join(' ', map { ref $_ ? 'E' : $_ } @status), '1 1 E 1');
check('execute_array rows', $dbh->selectrow_array('SELECT SUM(i) FROM arr'), 6);

# odbc_query_timeout stops an endless query on the server and the
# connection goes on. $sth->cancel stops it from a handler installed with
# POSIX::sigaction, as DBI documents: a %SIG handler is deferred until the
# call returns, so it could never cancel the call (the statement's own
# timeout then ends a cancel that failed).
my $endless = 'WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT COUNT(*) FROM r';
for my $case (['timeout', 1, 0, 'HYT00'], ['cancel', 20, 1, 'HY008']) {
    my ($what, $seconds, $alarm, $state) = @$case;
    $dbh->{odbc_query_timeout} = $seconds;
    my $sth = $dbh->prepare($endless);
    POSIX::sigaction(POSIX::SIGALRM(), POSIX::SigAction->new(sub { $sth->cancel }));
    alarm $alarm;
    check($what, $sth->execute, undef);
    alarm 0;
    check("$what state", $sth->state, $state);
    check("after $what", $dbh->selectrow_array('SELECT 7'), 7);
}
$dbh->disconnect;
print "FAIL $_\n" for @failures;
print 'DBD::ODBC client: ', (@failures ? scalar(@failures) . " failures\n" : "OK\n");
exit(@failures ? 1 : 0);
