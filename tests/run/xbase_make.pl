#!/usr/bin/perl
# Perl XBase (libdbd-xbase-perl) as an independent writer and reader for the operation tests.
#   xbase_make.pl create PATH FIELDS [--delete N]... RECORD...
#       a dBase III table; FIELDS separated by ',', each NAME:C:LEN or NAME:N:LEN:DEC;
#       each RECORD holds its values separated by '|'; --delete N marks record N (from 1) deleted
#   xbase_make.pl dump PATH
#       one line per physical record: "ok" or "DEL", then the values, separated by '|'
use strict;
use warnings;
use XBase;

my ($mode, $path, @rest) = @ARGV;
if ($mode eq 'create') {
    my $spec = shift @rest;
    my (@names, @types, @lengths, @decimals);
    for my $f (split /,/, $spec) {
        my ($name, $type, $len, $dec) = split /:/, $f;
        push @names, $name;
        push @types, $type;
        push @lengths, $len;
        push @decimals, $dec // 0;
    }
    my (@records, @deleted);
    while (@rest) {
        my $a = shift @rest;
        if ($a eq '--delete') {
            push @deleted, shift @rest;
        } else {
            push @records, $a;
        }
    }
    my $t = XBase->create(name => $path, version => 3, field_names => \@names, field_types => \@types,
                          field_lengths => \@lengths, field_decimals => \@decimals) or die XBase->errstr;
    my $n = 0;
    for my $r (@records) {
        my @values = map { $_ eq '' ? undef : $_ } split /\|/, $r, -1;
        $t->set_record($n++, @values) or die $t->errstr;
    }
    for my $d (@deleted) {
        $t->delete_record($d - 1) or die $t->errstr;
    }
    $t->close;
} else {
    my $t = XBase->new($path) or die XBase->errstr;
    for my $i (0 .. $t->last_record) {
        my ($deleted, @values) = $t->get_record($i);
        die $t->errstr unless defined $deleted;
        print join('|', $deleted ? 'DEL' : 'ok', map { defined $_ ? $_ : '' } @values), "\n";
    }
}
