#!/usr/bin/perl
# mdx_walk.pl DBF_PATH TAG
#
# Walks one tag of a table's production index (the .MDX beside the .DBF,
# found without regard to letter case) with the XBase modules and prints
# its entries in key order, one per line:
#
#   RECNO|KEY
#
# The tag name may be given in any letter case. RECNO is the 1-based
# record number. KEY is the character key without the
# trailing blanks that pad it, or, for a numeric tag, the number in its
# shortest decimal form ("3", "-2.5").
#
# Exit status: 0 after a complete walk; 2 for wrong arguments, a table or
# index that cannot be opened, or a tag that is not there; 3 when the walk
# stops at a damaged index or meets a record number outside the table.
use strict;
use warnings;
use File::Basename qw(dirname basename);
use XBase;
use XBase::Index;

if (@ARGV != 2) {
	print STDERR "usage: mdx_walk.pl DBF_PATH TAG\n";
	exit 2;
}
my ($dbf_path, $tag) = @ARGV;

my $table = XBase->new(name => $dbf_path)
	or do { print STDERR "cannot open table $dbf_path: " . XBase->errstr; exit 2; };

# The index is the file of the same base name with extension .MDX.
my $dir = dirname($dbf_path);
my $base = basename($dbf_path);
$base =~ s/\.[^.]*$//;
my $mdx_path;
opendir(my $dh, $dir) or do { print STDERR "cannot read folder $dir\n"; exit 2; };
for my $f (readdir $dh) {
	if (lc($f) eq lc("$base.mdx")) { $mdx_path = "$dir/$f"; last; }
}
closedir $dh;
defined $mdx_path or do { print STDERR "no index file for $dbf_path\n"; exit 2; };

# Tag names are matched without regard to letter case.
my $probe = XBase::Index->new($mdx_path, 'dbf' => $table)
	or do { print STDERR "cannot open index $mdx_path: " . XBase::Index->errstr; exit 2; };
my ($tag_name) = grep { lc($_) eq lc($tag) } $probe->tags;
defined $tag_name
	or do { print STDERR "no tag $tag in $mdx_path (tags: " . join(' ', $probe->tags) . ")\n"; exit 2; };
my $index = XBase::Index->new($mdx_path, 'dbf' => $table, 'tag' => $tag_name)
	or do { print STDERR "cannot open tag $tag of $mdx_path: " . XBase::Index->errstr; exit 2; };
my $key_type = $index->{'active'}{'key_type'} // 'C';

$index->prepare_select
	or do { print STDERR "cannot walk tag $tag: " . $index->errstr; exit 3; };

my $last_recno = $table->last_record + 1;   # last_record is 0-based
my $count = 0;
while (1) {
	my ($key, $recno) = $index->fetch;
	last unless defined $recno;
	if ($recno < 1 or $recno > $last_recno) {
		print STDERR "record number $recno outside the table (1..$last_recno)\n";
		exit 3;
	}
	if ($key_type eq 'N') {
		$key = decode_number($key);
	} else {
		$key =~ s/ +$//;
	}
	print "$recno|$key\n";
	if (++$count > 10_000_000) { print STDERR "walk does not end\n"; exit 3; }
}
if ($index->errstr) { print STDERR $index->errstr; exit 3; }
exit 0;

# A 12-byte numeric key: byte 0 is 52 plus the number of digits before the
# decimal point, byte 1 holds the sign (bit 7) and the digit count (bits
# 6..2), and the digits follow two to a byte, high nibble first.
sub decode_number {
	my ($bytes) = @_;
	my @b = unpack('C12', $bytes . ("\0" x 12));
	my $negative = $b[1] & 0x80;
	my $count = ($b[1] >> 2) & 0x1F;
	my $point = $b[0] - 52;
	my $digits = '';
	for my $i (0 .. $count - 1) {
		my $byte = $b[2 + int($i / 2)];
		$digits .= ($i % 2 == 0) ? ($byte >> 4) : ($byte & 0x0F);
	}
	# Leading zeros move the point; trailing zeros carry no value.
	while ($digits =~ s/^0//) { $point--; }
	$digits =~ s/0+$//;
	return '0' if $digits eq '';
	my $text;
	if ($point <= 0) {
		$text = '0.' . ('0' x -$point) . $digits;
	} elsif ($point >= length $digits) {
		$text = $digits . ('0' x ($point - length $digits));
	} else {
		$text = substr($digits, 0, $point) . '.' . substr($digits, $point);
	}
	return ($negative ? '-' : '') . $text;
}
