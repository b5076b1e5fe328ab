#!/usr/bin/perl
# Perl DBI with DBD::ODBC against velora-server through unixODBC: connect,
# selectall_arrayref over every SQL type, long values, a server error, and
# the catalog: get_info, table_info, column_info, type_info_all.
# Run by run_with_server.sh, which sets VELORA_DSN.
use strict;
use warnings;
use DBI;

my @failures;
sub check {
    my ($what, $got, $want) = map { defined $_ ? "'$_'" : 'undef' } @_;
    push @failures, "$_[0]: got $got, want $want" if $got ne $want;
}

my @columns = qw(id c_char c_varchar c_longvar c_binary c_varbin c_longvarb c_bit c_tinyint
                 c_smallint c_integer c_bigint c_real c_float c_numeric c_date c_time c_timestamp);
my @row1 = ('1', 'abc', 'hello world', 'a longer text value', 'ABCD', 'EF', 'HIJKL', '1', '-12',
            '1234', '-123456', '9000000000000000001', '2.5', '-1234.625', '12345.67',
            '2024-02-29', '13:45:30', '2024-02-29 13:45:30.250');

my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VELORA_DSN}", 'tester', 'secret',
                       { RaiseError => 0, PrintError => 0, LongReadLen => 100000 })
    or die "FAIL connect: $DBI::state $DBI::errstr\n";

# Each query's rows, or a failure naming the query.
sub rows {
    my ($what, $sql) = @_;
    my $rows = $dbh->selectall_arrayref($sql);
    push @failures, "$what: " . ($dbh->state // '') . ' ' . ($dbh->errstr // '') unless $rows;
    return $rows // [];
}

# A successful connect leaves no error behind (the driver manager's note
# about the driver's ODBC version is information only).
check('error after connect', $dbh->err ? $dbh->errstr : '', '');
check('get_info DBMS_NAME', $dbh->get_info(17), 'Velora');
check('get_info DBMS_VER', $dbh->get_info(18) =~ /^Velora ODBC Server / ? 1 : 0, 1);
check('get_info SERVER_NAME', $dbh->get_info(13), '127.0.0.1');
my $tables = $dbh->table_info(undef, undef, 'all%', undef)->fetchall_arrayref;
check('table_info', join(' ', map { "$_->[2]/$_->[3]" } @$tables), 'all_types/TABLE all_types_view/VIEW');
my $cols = $dbh->column_info(undef, undef, 'all_types_view', undef)->fetchall_arrayref;
check('column_info', join(' ', map { "$_->[3]/$_->[4]/$_->[5]" } @$cols), 'id/4/INTEGER c_varchar/12/VARCHAR');
my $types = $dbh->type_info_all;
check('type_info_all', scalar(@$types) - 1, 17);
# The types DBD::ODBC looks up for its own tables.
check('type_info', join(' ', map { ($dbh->type_info($_))[0]{TYPE_NAME} } 12, 4, -1, -4, 11, 9, 6, -7),
      'VARCHAR INTEGER TEXT BLOB TIMESTAMP DATE FLOAT BIT');

my $rows = rows('every type', 'SELECT ' . join(', ', @columns) . ' FROM all_types ORDER BY id');
check('row count', scalar @$rows, 2);
for my $i (0 .. $#columns) {
    my $got = $rows->[0][$i];
    # A CHAR(8) value may come back padded with blanks.
    $got =~ s/ +$// if defined $got && $columns[$i] eq 'c_char';
    check($columns[$i], $got, $row1[$i]);
    check("$columns[$i] NULL", $rows->[1][$i], $i ? undef : '2');
}

my $long = join(',', 0 .. 2999);
my $longs = rows('long values', 'SELECT t, b FROM long_values');
check('long text', $longs->[0][0], $long);
check('long binary', $longs->[0][1], $long);

check('missing table result', $dbh->selectall_arrayref('SELECT * FROM no_such_table'), undef);
my $state = $dbh->state // '';
push @failures, "missing table: SQLSTATE '$state'" unless $state eq '42S02' || $state eq 'S0002';
push @failures, "missing table: message does not name the table: " . ($dbh->errstr // '')
    unless ($dbh->errstr // '') =~ /no_such_table/;

$dbh->disconnect;
print "FAIL $_\n" for @failures;
print 'DBD::ODBC client: ', (@failures ? scalar(@failures) . " failures\n" : "OK\n");
exit(@failures ? 1 : 0);
