#!/usr/bin/perl
# Perl DBI with DBD::ODBC and parameters against velora-server through
# unixODBC: execute(@binds), bind_param with SQL types, a long value, a
# NULL, and the conversion's refusal reaching the application.
# Run by run_with_server.sh, which sets VELORA_DSN.
use strict;
use warnings;
use DBI qw(:sql_types);

my @failures;
sub check {
    my ($what, $got, $want) = @_;
    my $g = defined $got ? "'$got'" : 'undef';
    my $w = defined $want ? "'$want'" : 'undef';
    push @failures, "$what: got $g, want $w" if $g ne $w;
}

my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VELORA_DSN}", 'tester', 'secret',
                       { RaiseError => 0, PrintError => 0, LongReadLen => 300000 });
if (!$dbh) {
    print "FAIL connect: $DBI::state $DBI::errstr\n";
    exit 1;
}
$dbh->do('CREATE TABLE p (i INTEGER, b BIGINT, f FLOAT, s VARCHAR(20), d DATE, t LONGVARCHAR)')
    or push @failures, "create: $DBI::errstr";

my $ins = $dbh->prepare('INSERT INTO p VALUES (?, ?, ?, ?, ?, ?)');
check('execute binds', $ins->execute(1, '9000000000000000001', -2.5, 'one', '2024-02-29', 'x' x 200000),
      1);
$ins->bind_param(1, 2, SQL_INTEGER);
$ins->bind_param(2, -7, SQL_BIGINT);
$ins->bind_param(3, '1.25', SQL_DOUBLE);
$ins->bind_param(4, undef, SQL_VARCHAR);
$ins->bind_param(5, '1996-05-01', SQL_DATE);
$ins->bind_param(6, 'short', SQL_LONGVARCHAR);
check('bind_param', $ins->execute, 1);

my $rows = $dbh->selectall_arrayref('SELECT i, b, f, s, d, length(t) FROM p ORDER BY i');
check('row 1', join('|', map { defined $_ ? $_ : 'NULL' } @{$rows->[0]}),
      '1|9000000000000000001|-2.5|one|2024-02-29|200000');
check('row 2', join('|', map { defined $_ ? $_ : 'NULL' } @{$rows->[1]}),
      '2|-7|1.25|NULL|1996-05-01|5');

$ins->bind_param(1, 'twelve', SQL_INTEGER);
check('non-numeric refused', $ins->execute, undef);
# The driver manager tells an ODBC 3 application 22005 as 22018.
check('non-numeric state', $ins->state, '22018');
$dbh->disconnect;

print "FAIL $_\n" for @failures;
print 'DBD::ODBC parameters: ', (@failures ? scalar(@failures) . " failures" : 'OK'), "\n";
exit(@failures ? 1 : 0);
