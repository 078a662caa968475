#!/usr/bin/perl
# Perl XBase (libdbd-xbase-perl) as an independent writer and reader for the Quillora tests.
#   xbase_oracle.pl create PATH VERSION   - a table NOME C20, QTD N8.2, NASC D, OBS M with two records
#   xbase_oracle.pl dump PATH             - one line per record: deleted flag, then values, tab separated
use strict;
use warnings;
use XBase;

my ($mode, $path, $version) = @ARGV;
if ($mode eq 'create') {
    my $t = XBase->create(name => $path, version => hex($version),
                          field_names => ['NOME', 'QTD', 'NASC', 'OBS'],
                          field_types => ['C', 'N', 'D', 'M'],
                          field_lengths => [20, 8, 8, 10],
                          field_decimals => [0, 2, 0, 0]) or die XBase->errstr;
    $t->set_record(0, 'Primeiro', 1.5, '20240131', "memo do perl\r\nsegunda linha") or die $t->errstr;
    $t->set_record(1, 'Segundo', -7, '19991231', 'outro memo') or die $t->errstr;
    $t->close;
} else {
    my $t = XBase->new($path) or die XBase->errstr;
    for my $i (0 .. $t->last_record) {
        my ($deleted, @values) = $t->get_record($i);
        die $t->errstr unless defined $deleted;
        my @shown = map { my $v = defined $_ ? $_ : '<null>'; $v =~ s/([^\x20-\x7e])/sprintf('\\x%02x', ord $1)/ge; $v } @values;
        print join("\t", $deleted ? 'DEL' : 'ok', @shown), "\n";
    }
}
