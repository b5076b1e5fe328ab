#!/usr/bin/perl
# Perl DBI with DBD::ODBC against the Unicode driver: type_info_all names
# its columns in ODBC 3 words (COLUMN_SIZE among them) and walking every
# type through it and type_info prints no warning. Run by
# run_with_server.sh, which sets VELORA_DSN.
use strict;
use warnings;
use DBI;

my @failures;
$SIG{__WARN__} = sub { push @failures, "warning: @_" };
my $dbh = DBI->connect("dbi:ODBC:DSN=$ENV{VELORA_DSN}", 'tester', '', { RaiseError => 1, PrintWarn => 1 });
my ($index, @types) = @{ $dbh->type_info_all };
push @failures, "no COLUMN_SIZE in type_info_all" unless defined $index->{COLUMN_SIZE};
push @failures, "no types" unless @types;
for my $row (@types) {
    my $name = $row->[$index->{TYPE_NAME}] // '(no name)';
    for my $info ($dbh->type_info($row->[$index->{DATA_TYPE}])) {
        push @failures, "$name: type_info has no COLUMN_SIZE" unless exists $info->{COLUMN_SIZE};
    }
}
print "FAIL $_\n" for @failures;
exit(@failures ? 1 : 0);
